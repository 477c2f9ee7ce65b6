// Only the scanner's strokes enter the program: the user's keyboards are never filtered, a
// newcomer is released as soon as it is known, a re-plugged scanner starts clean, and nothing
// is stranded when capture stops. The stand-in numbers keyboards as the real driver does.
#include "e2e/program_test.h"

#include "forwarding/scan_frame.h"
#include "support/test_environment.h"

#include <sstream>

namespace {

class ScannerOnlyTest : public ProgramTest {
protected:
    void LaunchCapturing(const AppOptions& options = {}) {
        WriteSettings(ConfigFor(2, port));
        ASSERT_TRUE(LaunchAndFindWindow(app, options));
        PostCommand(app, IDC_START_STOP);
        ASSERT_TRUE(WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Connected"));
        client = ConnectClient(port);
        ASSERT_TRUE(WaitForControlText(app.window, IDC_TCP_STATUS, L"Connected"));
    }

    void ExpectScan(int device, const std::string& text) {
        ASSERT_EQ("ok", SimCommand(app, "scan " + std::to_string(device) + " " + text));
        std::string frame = BuildScanFrame(text + "\r");
        EXPECT_EQ(frame, ReadBytes(client, frame.size()));
    }

    uint64_t Handed() {
        std::istringstream words(SimCommand(app, "stats"));
        std::string word;
        uint64_t value = 0;
        while (words >> word && word != "handed") {
        }
        words >> value;
        return value;
    }
};

TEST_F(ScannerOnlyTest, TheUsersKeyboardIsNeverFilteredAndTypesStraightThrough) {
    LaunchCapturing();
    EXPECT_EQ("0", SimCommand(app, "filter 1"));
    ASSERT_EQ("ok", SimCommand(app, "type 1 Hunter2"));
    std::vector<std::string> typed = {"1 42 0", "1 35 0", "1 35 1", "1 42 1", "1 22 0", "1 22 1",
                                      "1 49 0", "1 49 1", "1 20 0", "1 20 1", "1 18 0", "1 18 1",
                                      "1 19 0", "1 19 1", "1 3 0",  "1 3 1"};
    EXPECT_EQ(typed, SimSystemAtLeast(app, typed.size()));
    ExpectScan(2, "4006381333931");
    // The scan's 28 strokes are all the program was ever handed.
    ASSERT_TRUE(SimStrokesTaken(app));
    EXPECT_EQ(28u, Handed());
}

TEST_F(ScannerOnlyTest, AKeyboardPluggedAtAFreeNumberIsPassedOnAndReleased) {
    LaunchCapturing();
    EXPECT_EQ("65535", SimCommand(app, "filter 3"));  // free: the scanner could come back there
    ASSERT_EQ("ok", SimCommand(app, "plug 3 HID\\VID_0001&PID_0002"));
    ASSERT_EQ("ok", SimCommand(app, "type 3 abc"));
    std::vector<std::string> typed = {"3 30 0", "3 30 1", "3 48 0", "3 48 1", "3 46 0", "3 46 1"};
    EXPECT_EQ(typed, SimSystemAtLeast(app, typed.size()));
    EXPECT_TRUE(WaitUntil([&] { return SimCommand(app, "filter 3") == "0"; }));
    ExpectScan(2, "STILL2");
}

TEST_F(ScannerOnlyTest, ARePluggedScannerIsHeldAtItsNewNumberAndStartsClean) {
    AppOptions options;
    options.arrivalUnfiltered = true;  // the driver may start a new keyboard without the filter
    LaunchCapturing(options);
    ASSERT_EQ("ok", SimCommand(app, "type 2 4006"));
    ASSERT_EQ("ok", SimCommand(app, "stroke 2 0x2A 0"));  // Shift down as it goes
    ASSERT_TRUE(SimStrokesTaken(app));
    ASSERT_EQ("ok", SimCommand(app, "move 2 6"));
    // The arrival's notification makes the program set the filter on the new number again.
    ASSERT_TRUE(WaitUntil([&] { return SimCommand(app, "arrival 6") != "none"; }));
    ExpectScan(6, "123");
    EXPECT_TRUE(WaitForLog(app, L"Scanner gone in the middle of a scan: 4 characters dropped."));
    EXPECT_EQ(std::vector<std::string>{}, SimSystem(app));
}

TEST_F(ScannerOnlyTest, StopInABurstStrandsNothingAndDeliversEveryFinishedScan) {
    LaunchCapturing();
    // A keyboard at a free number whose id the driver cannot give yet: still filtered.
    ASSERT_EQ("ok", SimCommand(app, "anonymous 3 on"));
    ASSERT_EQ("ok", SimCommand(app, "plug 3 HID\\VID_0001&PID_0002"));
    std::string frames;
    for (int scan = 0; scan < 20; ++scan) {
        std::string text = "BURST" + std::to_string(scan) + std::string(300, 'X');
        ASSERT_EQ("ok", SimCommand(app, "scan 2 " + text));
        frames += BuildScanFrame(text + "\r");
    }
    ASSERT_EQ("ok", SimCommand(app, "type 2 half"));
    ASSERT_EQ("ok", SimCommand(app, "stroke 3 0x1E 0"));
    PostCommand(app, IDC_START_STOP);
    ASSERT_TRUE(WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Disconnected"));
    EXPECT_EQ(frames, ReadBytes(client, frames.size()));
    EXPECT_EQ("end", SimCommand(app, "held"));
    EXPECT_NE(std::string::npos, SimCommand(app, "stats").find(" pending 0"));
    PostCommand(app, IDC_START_STOP);
    ASSERT_TRUE(WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Connected"));
    ExpectScan(2, "CLEAN");
}

TEST_F(ScannerOnlyTest, ElevenAttachesNeverCaptureAnotherKeyboard) {
    LaunchCapturing();
    // Keyboards 1 and 2 and eight re-plugs use every number the driver has.
    for (int to = 3; to <= 10; ++to) {
        ASSERT_EQ("ok", SimCommand(app, "move " + std::to_string(to == 3 ? 2 : to - 1) + " " +
                                            std::to_string(to)));
        ExpectScan(to, "REPLUG" + std::to_string(to));
    }
    ASSERT_EQ("ok", SimCommand(app, "unplug 10"));
    // (Windows would list the scanner, and the window would ask for a restart of Windows;
    // Wine lists no such device.)
    ASSERT_TRUE(WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Waiting for device"));
    EXPECT_EQ(0u, SimCommand(app, "plug 3 " + ScannerId).rfind("error", 0));  // the eleventh
    uint64_t handed = Handed();
    ASSERT_EQ("ok", SimCommand(app, "type 1 secret"));
    EXPECT_EQ(12u, SimSystemAtLeast(app, 12).size());
    EXPECT_EQ(handed, Handed());
    EXPECT_EQ(L"Waiting for device", ControlText(app.window, IDC_CAPTURE_STATUS));
}

}  // namespace
