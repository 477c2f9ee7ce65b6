// Key strokes typed on the stand-in driver's keyboard travel through translation, the capture
// thread, the key queue and scan assembly to a TCP client as frames.
#include "capture/capture_control.h"
#include "capture/capture_thread.h"
#include "capture/key_queue.h"
#include "capture/scan_assembly.h"
#include "capture/scan_end.h"
#include "devices/device_identity.h"
#include "forwarding/scan_frame.h"
#include "forwarding/tcp_server.h"
#include "support/dialog_messages.h"
#include "support/sim_session.h"
#include "support/test_client.h"
#include "support/test_environment.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <sstream>

namespace {

class StrokeToFrame : public ::testing::Test {
protected:
    SimSession sim;
    SocketHandle client = InvalidSocket;

    void SetUp() override {
        ASSERT_TRUE(sim.Open("1=ACPI\\PNP0303;2=HID\\VID_1234&PID_ABCD&REV_0100&MI_00"));
        StartCollectingDialogMessages();
        tcpPort = FreeTcpPort();
        StartTcpServer();
        ASSERT_TRUE(WaitForStatus(TcpListening));
        client = ConnectClient(tcpPort);
        ASSERT_TRUE(WaitForStatus(TcpConnected));
        ScanBufferClear();
        scanCounter = 0;
        ASSERT_TRUE(StartCaptureThread(CaptureTargetFor(LiveHardwareId(2), 2, 1), false));
        captureActive = true;
        ASSERT_TRUE(WaitUntil([&] { return sim.Command("filter 2") == "65535"; }));
    }

    void TearDown() override {
        captureActive = false;
        StopCaptureThread();
        letterCase = LetterCase::Upper;
        scanEnd = ScanEnd::Enter;
        pauseMilliseconds = DefaultPauseMilliseconds;
        SocketClose(client);
        StopTcpServer();
        StopCollectingDialogMessages();
        sim.Close();
    }

    // The dialog's wake-ups, played by this loop, until so many scans are done in all.
    std::string FramesOf(uint64_t scans, size_t bytes) {
        WaitUntil([scans] {
            ProcessKeyEvents();
            return scanCounter.load() >= scans;
        });
        return ReadBytes(client, bytes);
    }
};

TEST_F(StrokeToFrame, ScanTypedOnTheCapturedKeyboardReachesTheClient) {
    ASSERT_EQ("ok", sim.Command("scan 2 AB7"));
    ASSERT_EQ("ok", sim.Command("type 1 q"));
    const std::string expected = std::string("\xDD\xFETOVAK\x01\xFE\xDE") + "[65][66][55][13]";
    EXPECT_EQ(expected, FramesOf(1, expected.size()));
    EXPECT_TRUE(WaitForLoggedText(L"SCAN #1 -> AB7"));

    // The other keyboard's q went on to the system, press and release.
    std::vector<std::string> passed;
    WaitUntil([&] {
        for (auto& line : sim.System()) {
            passed.push_back(line);
        }
        return passed.size() >= 2;
    });
    EXPECT_EQ((std::vector<std::string>{"1 16 0", "1 16 1"}), passed);
}

// One stand-in command for strokes in a short notation: "=text" typed on a US layout (left
// Shift around capitals and shifted symbols), "s" "rs" "c" "rc" "a" "ra" a modifier pressed and
// with a trailing ' released, "fs" a Shift faked by the keyboard (E0), "caps" Caps Lock, "kXX"
// and "eXX" a key (E0 for e) pressed and released.
std::string StrokeCommand(const std::string& notation) {
    static const std::map<std::string, std::pair<int, int>> modifiers = {
        {"s", {0x2A, 0}},  {"rs", {0x36, 0}}, {"fs", {0x2A, 2}}, {"c", {0x1D, 0}},
        {"rc", {0x1D, 2}}, {"a", {0x38, 0}},  {"ra", {0x38, 2}}, {"caps", {0x3A, 0}},
    };
    std::ostringstream command;
    command << "stroke 2";
    auto key = [&command](int code, int state) {
        command << ' ' << code << ' ' << state << ' ' << code << ' ' << (state | 1);
    };
    std::istringstream tokens(notation);
    std::string token;
    while (tokens >> token) {
        bool up = token.back() == '\'';
        std::string name = up ? token.substr(0, token.size() - 1) : token;
        if (token[0] == '=') {
            for (char c : token.substr(1)) {
                const char* rows[] = {"1234567890-=",  "qwertyuiop[]", "asdfghjkl;'`",
                                      "\\zxcvbnm,./",  "!@#$%^&*()_+", "QWERTYUIOP{}",
                                      "ASDFGHJKL:\"~", "|ZXCVBNM<>?"};
                const int firsts[] = {0x02, 0x10, 0x1E, 0x2B};
                for (int row = 0; row < 8; ++row) {
                    if (const char* at = std::strchr(rows[row], c)) {
                        int code = firsts[row % 4] + static_cast<int>(at - rows[row]);
                        command << (row >= 4 ? " 42 0" : "");
                        key(code, 0);
                        command << (row >= 4 ? " 42 1" : "");
                        break;
                    }
                }
            }
        } else if (auto modifier = modifiers.find(name); modifier != modifiers.end()) {
            if (name == "caps") {
                key(modifier->second.first, 0);
            } else {
                command << ' ' << modifier->second.first << ' ' << (modifier->second.second | up);
            }
        } else {
            key(std::stoi(name.substr(1), nullptr, 16), name[0] == 'e' ? 2 : 0);
        }
    }
    return command.str();
}

// Real scanner set-ups, each a burst of strokes and the scans that must come of it (Include
// Enter on, so each frame ends in CR).
TEST_F(StrokeToFrame, ScannerConfigurationsArriveAsScanned) {
    struct Row {
        const char* setup;
        LetterCase letters;
        ScanEnd end;
        const char* strokes;
        std::vector<std::string> scans;
    } rows[] = {
        // clang-format off
        {"QR code with a URL, as scanned", LetterCase::AsScanned, ScanEnd::Enter,
         "=https://ex.com/AbZz k1C", {"https://ex.com/AbZz"}},
        {"the same, UPPERCASE", LetterCase::Upper, ScanEnd::Enter,
         "=https://ex.com/AbZz k1C", {"HTTPS://EX.COM/ABZZ"}},
        {"the same, lowercase", LetterCase::Lower, ScanEnd::Enter,
         "=https://ex.com/AbZz k1C", {"https://ex.com/abzz"}},
        {"Tab and LF between fields, Enter suffix", LetterCase::AsScanned, ScanEnd::Enter,
         "=ab k0F =cd c k24 c' =ef k1C", {"ab\tcd\nef"}},
        {"Caps Lock on the scanner", LetterCase::AsScanned, ScanEnd::Enter,
         "caps =aB1 caps k1C", {"Ab1"}},
        {"left Shift held, right Shift tapped", LetterCase::AsScanned, ScanEnd::Enter,
         "s k1E rs rs' k30 s' k1C", {"AB"}},
        {"Down arrow suffix with its faked Shift", LetterCase::AsScanned, ScanEnd::Enter,
         "=123 k1C fs e50 fs' =45 k1C", {"123", "45"}},
        {"Home with Shift held: the faked release", LetterCase::AsScanned, ScanEnd::Enter,
         "s k1E fs' e47 fs k1E s' k1C", {"AA"}},
        {"keypad slash and keypad Enter", LetterCase::Upper, ScanEnd::Enter,
         "=12 e35 =3 e1C", {"12/3"}},
        {"GS by right Ctrl and by right Alt", LetterCase::AsScanned, ScanEnd::Enter,
         "=01 rc k1B rc' =21 ra k52 k50 k49 ra' =x k1C", {"01\x1D" "21\x1Dx"}},
        {"CR LF suffix", LetterCase::Upper, ScanEnd::Enter,
         "=ab k1C c k24 c' =cd k1C c k24 c'", {"AB", "CD"}},
        {"Tab suffix", LetterCase::Upper, ScanEnd::Tab,
         "=ab k0F =cd k0F c k24 c'", {"AB", "CD"}},
        {"driver licence: LF, RS and CR inside", LetterCase::AsScanned, ScanEnd::Pause,
         "=@ c k24 c' c k07 c' c k32 c' =ANSI k39 =636014 c k24 c' =DAQ1234",
         {"@\n\x1E\rANSI 636014\nDAQ1234"}},
        {"Enter inside, ended by a pause", LetterCase::Upper, ScanEnd::Pause,
         "=ab k1C =cd", {"AB\rCD"}},
        {"Alt 0233, 130, 0130, 176", LetterCase::AsScanned, ScanEnd::Enter,
         "a k52 k50 k51 k51 a' a k4F k51 k52 a' a k52 k4F k51 k52 a' a k4F k47 k4D a' k1C",
         {"\xE9\xE9\x82?"}},
        {"Alt 013 ends; Alt repeating between digits", LetterCase::AsScanned, ScanEnd::Enter,
         "=x a k52 a k4F a k51 a' =y a k52 k4F k51 a'", {"x", "y"}},
        {"Alt codes abandoned by a key, by an E0 key", LetterCase::AsScanned, ScanEnd::Enter,
         "a k4F k1E k50 a' a k4F e48 k50 a' =z k1C", {"z"}},
        // clang-format on
    };
    pauseMilliseconds = 600;
    uint64_t done = 0;
    for (const Row& row : rows) {
        letterCase = row.letters;
        scanEnd = row.end;
        std::string frames;
        for (const std::string& scan : row.scans) {
            frames += BuildScanFrame(scan + "\r");
        }
        ASSERT_EQ("ok", sim.Command(StrokeCommand(row.strokes))) << row.setup;
        done += row.scans.size();
        EXPECT_EQ(frames, FramesOf(done, frames.size())) << row.setup;
        EXPECT_EQ(done, scanCounter.load()) << row.setup;
    }
}

// A case option changed in the middle of a scan applies to the keys typed after it.
TEST_F(StrokeToFrame, ACaseChangeAppliesFromTheNextKey) {
    ASSERT_EQ("ok", sim.Command(StrokeCommand("=ab")));
    EXPECT_TRUE(WaitUntil([] {
        ProcessKeyEvents();
        return ScanBufferContents() == "AB";
    }));
    letterCase = LetterCase::Lower;
    ASSERT_EQ("ok", sim.Command(StrokeCommand("=CD k1C")));
    std::string frame = BuildScanFrame("ABcd\r");
    EXPECT_EQ(frame, FramesOf(1, frame.size()));
}

}  // namespace
