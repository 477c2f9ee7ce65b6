// Capture follows the scanner by what it is: across restarts without it, shuffled numbers,
// re-plugging during capture, Refresh, identical twins and an old settings file. Never another
// keyboard.
#include "e2e/program_test.h"

#include "forwarding/scan_frame.h"
#include "resources/resource.h"
#include "support/test_environment.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <filesystem>
#include <fstream>

namespace {

using namespace std::chrono_literals;

using DeviceFollowTest = ScannerProgramTest;

TEST_F(DeviceFollowTest, MissingScannerIsWaitedForNeverReplacedAndTakenWhenPlugged) {
    WriteSettings(ScannerConfig(2), ActiveState);
    Launch("1=ACPI\\PNP0303");
    ASSERT_TRUE(WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Waiting for device"));
    EXPECT_TRUE(WaitForLog(app, L"Waiting for " + ScannerDescription));
    // Shown as not connected, after the keyboard.
    EXPECT_EQ(1, SendDlgItemMessageW(app.window, IDC_DEVICE_SELECTOR, CB_GETCURSEL, 0, 0));
    ExpectTypedIntoSystem(1, "secret");
    EXPECT_EQ(ActiveState, ReadSettingsFile(L"capture_state.ini"));

    std::string config = ReadSettingsFile(L"config.ini");
    ASSERT_EQ("ok", SimCommand(app, "plug 3 " + ScannerId));
    ASSERT_TRUE(WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Connected"));
    EXPECT_TRUE(WaitForLog(app, L"Capture started on " + ScannerDescription));
    ExpectScanArrives(3, "4006381333931");
    // Numbers change at every boot: a device found is not saved again.
    EXPECT_EQ(config, ReadSettingsFile(L"config.ini"));
    SocketClose(client);
    client = InvalidSocket;
    Quit();

    // Found again at the next start, and still at 3.
    Launch("1=ACPI\\PNP0303;3=" + ScannerId);
    ASSERT_TRUE(WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Connected"));
    ExpectScanArrives(3, "AGAIN");
}

// A PC set up for everyone: a user who has never run the program captures at logon on the
// scanner the machine's defaults name by its id, wherever the driver numbers it.
TEST_F(DeviceFollowTest, ANewUserCapturesAsTheMachinesDefaultsSay) {
    wchar_t programData[MAX_PATH] = {};
    ASSERT_EQ(S_OK, SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, programData));
    std::filesystem::path folder = std::filesystem::path(programData) / L"Wendalux";
    std::filesystem::create_directories(folder);
    std::ofstream(folder / L"defaults.ini", std::ios::binary)
        << "[Device]\r\nInterceptionId=2\r\nHardwareId=" << ScannerId
        << "\r\n[Tcp]\r\nPort=" << port << "\r\n[Capture]\r\nActive=1\r\n";
    Launch("2=HID\\VID_9999&PID_0001;5=" + ScannerId, L"--tray");
    std::filesystem::remove_all(folder);
    ASSERT_TRUE(WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Connected"));
    EXPECT_TRUE(WaitForLog(app, L"Auto-start: this computer's defaults start capture."));
    ExpectTypedIntoSystem(2, "mine");
    ExpectScanArrives(5, "4006381333931");
    EXPECT_FALSE(IsWindowVisible(app.window));
}

TEST_F(DeviceFollowTest, ShuffledNumbersRestartOnTheScannerWherever) {
    WriteSettings(ScannerConfig(2), ActiveState);
    Launch("2=HID\\VID_9999&PID_0001;4=" + ScannerId);
    ASSERT_TRUE(WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Connected"));
    EXPECT_TRUE(WaitForLog(app, L"Capture started on " + ScannerDescription));
    ExpectTypedIntoSystem(2, "mine");
    ExpectScanArrives(4, "SHUFFLED");
}

TEST_F(DeviceFollowTest, ReplugDuringCaptureLosesNoStrokeToTheSystem) {
    WriteSettings(ScannerConfig(2), ActiveState);
    Launch("1=ACPI\\PNP0303;2=" + ScannerId);
    ASSERT_TRUE(WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Connected"));
    ExpectScanArrives(2, "BEFORE");
    // Plugged back under another number and scanned at once, before any look for it.
    ASSERT_EQ("ok", SimCommand(app, "move 2 6"));
    ExpectScanArrives(6, "0101234567890128");
    ASSERT_TRUE(SimStrokesTaken(app));
    ASSERT_EQ("ok", SimCommand(app, "type 1 k"));
    EXPECT_EQ((std::vector<std::string>{"1 37 0", "1 37 1"}), SimSystemAtLeast(app, 2));
    EXPECT_TRUE(WaitForLog(app, L"Capture resumed on " + ScannerDescription));

    // Out for a while: the status says capture waits, in its own words.
    ASSERT_EQ("ok", SimCommand(app, "unplug 6"));
    ASSERT_TRUE(WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Waiting for device"));
    EXPECT_TRUE(WaitForLog(app, L"Device disconnected: " + ScannerDescription));
    ASSERT_EQ("ok", SimCommand(app, "plug 9 " + ScannerId));
    ExpectScanArrives(9, "BACK");
    ASSERT_TRUE(WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Connected"));
    // The driver hands out the lowest number first, so the scan's last strokes could still wait
    // behind the keyboard's k: once the capture thread has taken them all, and then the k has
    // passed, every stroke of the scan has been dealt with, and none of them went before it.
    ASSERT_TRUE(SimStrokesTaken(app));
    ASSERT_EQ("ok", SimCommand(app, "type 1 k"));
    EXPECT_EQ((std::vector<std::string>{"1 37 0", "1 37 1"}), SimSystemAtLeast(app, 2));
}

TEST_F(DeviceFollowTest, RestartRightAfterAReplugFindsTheScannerAndKeepsItSelected) {
    WriteSettings(ScannerConfig(2), ActiveState);
    Launch("1=ACPI\\PNP0303;2=" + ScannerId);
    ASSERT_TRUE(WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Connected"));
    // Refresh, Stop and Start within the second before the program looks for the re-plugged
    // scanner, and then once more: each finds it, and the selector keeps showing it.
    ASSERT_EQ("ok", SimCommand(app, "move 2 5"));
    PostCommand(app, IDC_REFRESH);
    ASSERT_TRUE(RoundTrip(app));
    EXPECT_EQ(1, SendDlgItemMessageW(app.window, IDC_DEVICE_SELECTOR, CB_GETCURSEL, 0, 0));
    for (int restart = 0; restart < 2; ++restart) {
        PostCommand(app, IDC_START_STOP);
        ASSERT_TRUE(WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Disconnected"));
        PostCommand(app, IDC_START_STOP);
        ASSERT_TRUE(WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Connected")) << restart;
        EXPECT_EQ(1, SendDlgItemMessageW(app.window, IDC_DEVICE_SELECTOR, CB_GETCURSEL, 0, 0));
    }
    ExpectScanArrives(5, "MOVED");
}

TEST_F(DeviceFollowTest, RefreshAndOptionsKeepTheScannerAndARefusedRestartIsRecorded) {
    WriteSettings(ScannerConfig(2));
    Launch("1=ACPI\\PNP0303;2=" + ScannerId);
    PostCommand(app, IDC_START_STOP);
    ASSERT_TRUE(WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Connected"));
    PostCommand(app, IDC_REFRESH);
    ASSERT_TRUE(RoundTrip(app));
    EXPECT_EQ(1, SendDlgItemMessageW(app.window, IDC_DEVICE_SELECTOR, CB_GETCURSEL, 0, 0));
    ClickButton(app.window, IDC_INCLUDE_ENTER);
    EXPECT_NE(std::string::npos, ReadSettingsFile(L"config.ini").find("InterceptionId=2"));
    Quit();

    Launch("1=ACPI\\PNP0303;2=" + ScannerId);
    ASSERT_TRUE(WaitForLog(app, L"Capture started on " + ScannerDescription));
    // A device change whose restart is refused: capture is stopped, and recorded so.
    SetControlText(app.window, IDC_PORT, L"");
    ChooseDevice(app, 0);
    HWND box = FindProcessWindow(app.process.dwProcessId, L"Error", 20s);
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(L"Invalid port.", MessageBoxText(box));
    DismissMessageBox(box);
    // The status said Disconnected already while the box was up; the file is written after.
    ASSERT_TRUE(WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Disconnected"));
    EXPECT_TRUE(WaitUntil(
        [] { return ReadSettingsFile(L"capture_state.ini") == "[Capture]\r\nActive=0\r\n"; }));
}

TEST_F(DeviceFollowTest, OfTwoIdenticalScannersTheChosenOneIsCaptured) {
    WriteSettings(ScannerConfig(3), ActiveState);
    Launch("1=ACPI\\PNP0303;3=" + ScannerId + ";5=" + ScannerId);
    ASSERT_TRUE(WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Connected"));
    EXPECT_EQ(1, SendDlgItemMessageW(app.window, IDC_DEVICE_SELECTOR, CB_GETCURSEL, 0, 0));
    ExpectTypedIntoSystem(5, "twin");
    ExpectScanArrives(3, "CHOSEN");
}

TEST_F(DeviceFollowTest, OldSettingsRestartOnTheirNumberAndNeverGuess) {
    WriteSettings(ConfigFor(2, port), ActiveState);
    Launch("1=ACPI\\PNP0303;2=" + ScannerId);
    ASSERT_TRUE(WaitForLog(app, L"Capture started on " + ScannerDescription));
    ExpectScanArrives(2, "OLD");
    EXPECT_NE(std::string::npos, ReadSettingsFile(L"config.ini").find("HardwareId=" + ScannerId));
    SocketClose(client);
    client = InvalidSocket;
    Quit();

    // An old file whose number is empty now: nothing is captured, and the stop is recorded.
    WriteSettings(ConfigFor(2, port), ActiveState);
    Launch("1=ACPI\\PNP0303");
    ASSERT_TRUE(WaitForLog(app, L"is not connected and cannot be recognised"));
    EXPECT_TRUE(WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Choose a device"));
    EXPECT_EQ("0", SimCommand(app, "filter 1"));
    EXPECT_EQ("[Capture]\r\nActive=0\r\n", ReadSettingsFile(L"capture_state.ini"));
}

}  // namespace
