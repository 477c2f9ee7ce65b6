// Capture never takes a device the user did not choose: lost settings, an absent scanner,
// identical scanners and failed id queries, each as a user meets them.
#include "e2e/program_test.h"

#include "forwarding/scan_frame.h"
#include "resources/resource.h"
#include "support/test_environment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace {

using namespace std::chrono_literals;

const std::string StoppedState = "[Capture]\r\nActive=0\r\n";

class DeviceChoiceTest : public ScannerProgramTest {
protected:
    int Selection() {
        return static_cast<int>(
            SendDlgItemMessageW(app.window, IDC_DEVICE_SELECTOR, CB_GETCURSEL, 0, 0));
    }
};

TEST_F(DeviceChoiceTest, LostSettingsWithCaptureOnNeverCaptureAKeyboard) {
    struct Case {
        const char* name;
        const char* config;  // null: no config.ini at all
    } cases[] = {{"missing", nullptr},
                 {"empty", ""},
                 {"cut short", "[Device]\r\nInterceptionId=2\r\nHardwareId=HID\\VID_12"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResetUserState();
        WriteSettings(c.config != nullptr ? c.config : "", ActiveState);
        if (c.config == nullptr) {
            std::filesystem::remove(std::filesystem::path(SettingsFolderPath()) / L"config.ini");
        }
        Launch("1=ACPI\\PNP0303;2=" + ScannerId, L"--tray");
        EXPECT_TRUE(WaitForLog(app, L"Auto-restart: no device is remembered"));
        EXPECT_TRUE(WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Choose a device"));
        EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(app.window) != FALSE; }));
        EXPECT_TRUE(
            WaitUntil([] { return ReadSettingsFile(L"capture_state.ini") == StoppedState; }));
        EXPECT_EQ(-1, Selection());
        ExpectTypedIntoSystem(1, "hunter2");
        EXPECT_NE(std::string::npos, SimCommand(app, "stats").find(" handed 0 "));
        if (c.config != nullptr) {
            EXPECT_NE(std::wstring::npos, LogText(app).find(L"config.ini"));
        }
        // Start asks the user to choose.
        PostCommand(app, IDC_START_STOP);
        HWND box = FindProcessWindow(app.process.dwProcessId, L"Error", 20s);
        ASSERT_NE(nullptr, box);
        EXPECT_EQ(L"Please select a device.", MessageBoxText(box));
        DismissMessageBox(box);
        Quit();
    }
}

TEST_F(DeviceChoiceTest, AnAbsentScannerIsShownWaitedForAndFollowedWithoutRewritingSettings) {
    WriteSettings(ScannerConfig(2, 1));
    Launch("1=ACPI\\PNP0303");
    ASSERT_EQ(2, SendDlgItemMessageW(app.window, IDC_DEVICE_SELECTOR, CB_GETCOUNT, 0, 0));
    EXPECT_EQ(1, Selection());
    // Start waits for it; Stop and Start again wait again, never take the keyboard.
    for (int start = 0; start < 2; ++start) {
        PostCommand(app, IDC_START_STOP);
        ASSERT_TRUE(WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Waiting for device"));
        ExpectTypedIntoSystem(1, "hunter2");
        if (start == 0) {
            PostCommand(app, IDC_START_STOP);
            ASSERT_TRUE(WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Disconnected"));
        }
    }
    std::string config = ReadSettingsFile(L"config.ini");
    ASSERT_EQ("ok", SimCommand(app, "plug 3 " + ScannerId));
    ASSERT_TRUE(WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Connected"));
    ExpectScanArrives(3, "FIRST");
    // Re-plugged twice, each time scanned at once: every departure and return is logged.
    ASSERT_EQ("ok", SimCommand(app, "move 3 6"));
    ExpectScanArrives(6, "SECOND");
    ASSERT_EQ("ok", SimCommand(app, "move 6 8"));
    ExpectScanArrives(8, "THIRD");
    ASSERT_TRUE(WaitUntil([&] {
        auto entries = LogEntries(app);
        return std::count(entries.begin(), entries.end(),
                          L"Capture resumed on " + ScannerDescription) == 2;
    }));
    std::vector<std::wstring> moves;
    for (const std::wstring& entry : LogEntries(app)) {
        if (entry.rfind(L"Capture started on", 0) == 0 ||
            entry.rfind(L"Capture resumed on", 0) == 0 ||
            entry.rfind(L"Device disconnected", 0) == 0) {
            moves.push_back(entry.substr(0, 12));
        }
    }
    std::vector<std::wstring> expected = {L"Capture star", L"Device disco", L"Capture resu",
                                          L"Device disco", L"Capture resu"};
    EXPECT_EQ(expected, moves);
    EXPECT_EQ(config, ReadSettingsFile(L"config.ini"));
    ExpectTypedIntoSystem(1, "k");

    // A failed id query at the scanner's number withholds its strokes and forgets nothing.
    ASSERT_EQ("ok", SimCommand(app, "anonymous 8 on"));
    ASSERT_EQ("ok", SimCommand(app, "scan 8 HELD"));
    ASSERT_TRUE(SimStrokesTaken(app));
    ASSERT_EQ("ok", SimCommand(app, "anonymous 8 off"));
    std::string frame = BuildScanFrame("HELD\r");
    EXPECT_EQ(frame, ReadBytes(client, frame.size()));
    ExpectTypedIntoSystem(1, "k");
    EXPECT_EQ(config, ReadSettingsFile(L"config.ini"));
}

TEST_F(DeviceChoiceTest, IdenticalScannersTwinsStayTwinsAndTheChosenPlaceIsKept) {
    WriteSettings(ScannerConfig(9, 2), ActiveState);
    Launch("1=ACPI\\PNP0303;3=" + ScannerId + ";5=" + ScannerId);
    ASSERT_TRUE(WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Connected"));
    EXPECT_TRUE(WaitForLog(app, L"cannot be told apart after a restart"));
    EXPECT_EQ(2, Selection());
    ExpectScanArrives(5, "CHOSEN");
    // The twin re-plugged, and a third identical one plugged in: neither is captured.
    ASSERT_EQ("ok", SimCommand(app, "move 3 7"));
    ExpectTypedIntoSystem(7, "twin");
    ASSERT_EQ("ok", SimCommand(app, "plug 4 " + ScannerId));
    ExpectTypedIntoSystem(4, "new");
    ExpectScanArrives(5, "STILL");
    // The chosen one unplugged, then Stop and Start: its twins are still not taken.
    ASSERT_EQ("ok", SimCommand(app, "unplug 5"));
    ASSERT_TRUE(WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Waiting for device"));
    PostCommand(app, IDC_START_STOP);
    ASSERT_TRUE(WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Disconnected"));
    PostCommand(app, IDC_START_STOP);
    ASSERT_TRUE(WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Waiting for device"));
    ExpectTypedIntoSystem(7, "t");
    ASSERT_EQ("ok", SimCommand(app, "plug 8 " + ScannerId));
    ASSERT_TRUE(WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Connected"));
    ExpectScanArrives(8, "BACK");
    Quit();
    EXPECT_NE(std::string::npos, ReadSettingsFile(L"config.ini").find("Instance=2\r\n"));

    // Next start with the other one gone: the only one present is the scanner.
    SocketClose(client);
    client = InvalidSocket;
    Launch("1=ACPI\\PNP0303;6=" + ScannerId);
    ASSERT_TRUE(WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Connected"));
    ExpectScanArrives(6, "ALONE");
}

}  // namespace
