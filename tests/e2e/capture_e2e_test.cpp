// Capture as the user operates it: Start and Stop, the scan's road to a TCP client, the
// refusals, the state file and automatic restart, and the device selector.
#include "e2e/program_test.h"

#include "forwarding/scan_frame.h"
#include "resources/resource.h"
#include "support/test_client.h"
#include "support/test_environment.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using namespace std::chrono_literals;

class CaptureTest : public ProgramTest {
protected:
    void Start(const std::string& config, AppOptions options = {}) {
        WriteSettings(config);
        ASSERT_TRUE(LaunchAndFindWindow(app, options));
        ASSERT_TRUE(WaitForControlText(app.window, IDC_TCP_STATUS, L"Listening"));
    }

    void StartCapture() {
        PostCommand(app, IDC_START_STOP);
        ASSERT_TRUE(WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Connected"));
        ASSERT_EQ(L"&Stop", ControlText(app.window, IDC_START_STOP));
    }

    void StopCapture() {
        PostCommand(app, IDC_START_STOP);
        ASSERT_TRUE(WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Disconnected"));
        ASSERT_EQ(L"&Start", ControlText(app.window, IDC_START_STOP));
    }

    void Connect() {
        client = ConnectClient(port);
        ASSERT_NE(InvalidSocket, client);
        ASSERT_TRUE(WaitForControlText(app.window, IDC_TCP_STATUS, L"Connected"));
    }

    std::string ScanAndReceive(const std::string& text, size_t frameBytes) {
        EXPECT_EQ("ok", SimCommand(app, "scan 2 " + text));
        return ReadBytes(client, frameBytes);
    }

    HWND WaitForBox(const wchar_t* caption) {
        return FindProcessWindow(app.process.dwProcessId, caption, 20s);
    }

    void ExpectRefusal(const wchar_t* caption, const std::wstring& text) {
        PostCommand(app, IDC_START_STOP);
        HWND box = WaitForBox(caption);
        ASSERT_NE(nullptr, box) << Narrow(text);
        EXPECT_EQ(text, MessageBoxText(box));
        DismissMessageBox(box);
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }));
        EXPECT_EQ(L"Disconnected", ControlText(app.window, IDC_CAPTURE_STATUS));
    }
};

TEST_F(CaptureTest, ScanTravelsToTheClientWithEachOption) {
    Start(ConfigFor(2, port));
    StartCapture();
    EXPECT_TRUE(WaitForLog(app, L"Capture started on " + ScannerDescription));
    Connect();

    const std::string marker = std::string("\xDD\xFETOVAK\x01\xFE\xDE");
    EXPECT_EQ(marker + "[65][66][55][13]", ScanAndReceive("AB7", 26));
    EXPECT_TRUE(WaitForLog(app, L"SCAN #1 -> AB7"));

    ClickButton(app.window, IDC_CASE_LOWER);
    EXPECT_EQ(marker + "[97][98][55][13]", ScanAndReceive("AB7", 26));
    ClickButton(app.window, IDC_CASE_UPPER);
    ClickButton(app.window, IDC_INCLUDE_ENTER);
    EXPECT_EQ(marker + "[65][66][55]", ScanAndReceive("ab7", 22));
    EXPECT_TRUE(WaitForLog(app, L"SCAN #3 -> AB7"));
    EXPECT_NE(std::string::npos, ReadSettingsFile(L"config.ini").find("IncludeEnter=0"));

    SocketClose(client);
    client = InvalidSocket;
    ASSERT_TRUE(WaitForControlText(app.window, IDC_TCP_STATUS, L"Listening"));
    EXPECT_EQ("ok", SimCommand(app, "scan 2 NOBODY"));
    EXPECT_TRUE(WaitForLog(app, L"SCAN #4 -> NOBODY (no client)\r\n"));
}

// The case and scan-end options as a user sets them, in force at once and kept in config.ini:
// a driver licence with CR inside arrives as one scan when a pause ends scans.
TEST_F(CaptureTest, CaseAndScanEndOptionsAreSetInTheWindowAndKept) {
    Start(ConfigFor(2, port) + "[Scan]\r\nEnd=pause\r\nPauseMs=600\r\n");
    auto endChosen = [&] {
        return SendMessageW(GetDlgItem(app.window, IDC_SCAN_END), CB_GETCURSEL, 0, 0);
    };
    EXPECT_EQ(2, endChosen());
    EXPECT_EQ(L"600", ControlText(app.window, IDC_PAUSE_MS));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(app.window, IDC_PAUSE_MS)));
    StartCapture();
    Connect();
    ClickButton(app.window, IDC_CASE_AS_SCANNED);
    const std::string licence =
        "@\x1E\rANSI 636014080102DL00410278ZV03190008DLDAQ D1234567\x1E\r"
        "DCSPublic\rDACJohn";
    ASSERT_EQ("ok", SimCommand(app, "type 2 " + licence));
    std::string frame = BuildScanFrame(licence + "\r");
    EXPECT_EQ(frame, ReadBytes(client, frame.size()));
    EXPECT_TRUE(WaitForLog(app, L"SCAN #1 -> @<RS><CR>ANSI 636014080102DL"));
    EXPECT_NE(std::string::npos, ReadSettingsFile(L"config.ini").find("Case=keep"));

    SendMessageW(GetDlgItem(app.window, IDC_SCAN_END), CB_SETCURSEL, 0, 0);
    PostCommand(app, IDC_SCAN_END, CBN_SELCHANGE);
    ASSERT_TRUE(RoundTrip(app));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(app.window, IDC_PAUSE_MS)));
    frame = BuildScanFrame("Ab\r") + BuildScanFrame("Cd\r");
    EXPECT_EQ(frame, ScanAndReceive("Ab\rCd", frame.size()));
    SetControlText(app.window, IDC_PAUSE_MS, L"750");
    PostCommand(app, IDM_QUIT);
    ASSERT_EQ(0, WaitForExit(app));
    std::string saved = ReadSettingsFile(L"config.ini");
    EXPECT_NE(std::string::npos, saved.find("Case=keep\r\nIncludeEnter=1\r\n")) << saved;
    EXPECT_NE(std::string::npos, saved.find("[Scan]\r\nEnd=enter\r\nPauseMs=750\r\n")) << saved;
}

TEST_F(CaptureTest, StructuredCodesArriveByteExactWithTheirSeparatorsNamedInTheLog) {
    Start(ConfigFor(2, port));
    StartCapture();
    Connect();
    // A GS1 DataMatrix of a medicine pack (GTIN, expiry, lot, GS, serial), typed with Ctrl,
    // and an ISO/IEC 15434 Format 06 message, typed by a scanner in Alt mode.
    const std::string gs1 =
        "0109501101530003172712311012-AB\x1D"
        "21XYZ987";
    const std::string iso =
        "[)>\x1E"
        "06\x1D"
        "1PPART123\x1DSSER456\x1E\x04";
    EXPECT_EQ(BuildScanFrame(gs1 + "\r"), ScanAndReceive(gs1, BuildScanFrame(gs1 + "\r").size()));
    ASSERT_EQ("ok", SimCommand(app, "altscan 2 " + iso));
    EXPECT_EQ(BuildScanFrame(iso + "\r"), ReadBytes(client, BuildScanFrame(iso + "\r").size()));
    EXPECT_TRUE(WaitForLog(app, L"SCAN #1 -> 0109501101530003172712311012-AB<GS>21XYZ987\r\n"));
    EXPECT_TRUE(WaitForLog(app, L"SCAN #2 -> [)><RS>06<GS>1PPART123<GS>SSER456<RS><EOT>\r\n"));
}

TEST_F(CaptureTest, ScanWithoutItsEnterWaitsWholeForIt) {
    Start(ConfigFor(2, port));
    StartCapture();
    Connect();
    ASSERT_EQ("ok", SimCommand(app, "type 2 0109501101"));
    ASSERT_TRUE(SimStrokesTaken(app));
    std::this_thread::sleep_for(3s);  // the once-a-second safety net runs meanwhile
    std::string frame = BuildScanFrame("0109501101530003\r");
    EXPECT_EQ(frame, ScanAndReceive("530003", frame.size()));
    EXPECT_TRUE(WaitForLog(app, L"SCAN #1 -> 0109501101530003\r\n"));
}

TEST_F(CaptureTest, ScanTypedTheMomentStartReturnsIsCaptured) {
    // A driver slow to take the filter: nothing may say that capture runs before it has.
    AppOptions slowDriver;
    slowDriver.filterDelayMs = 500;
    Start(ConfigFor(2, port), slowDriver);
    Connect();
    for (int start = 1; start <= 3; ++start) {
        StartCapture();
        std::string text = "0401234567890" + std::to_string(start);
        std::string frame = BuildScanFrame(text + "\r");
        EXPECT_EQ(frame, ScanAndReceive(text, frame.size())) << start;
        StopCapture();
    }
    EXPECT_EQ(std::vector<std::string>{}, SimSystem(app));
}

TEST_F(CaptureTest, OtherKeyboardPassesWhileTheScannerIsWithheldUntilStop) {
    Start(ConfigFor(2, port));
    StartCapture();
    ASSERT_TRUE(WaitUntil([&] { return SimCommand(app, "filter 2") == "65535"; }));
    EXPECT_EQ("ok", SimCommand(app, "type 2 x"));
    EXPECT_EQ("ok", SimCommand(app, "type 1 hi"));
    std::vector<std::string> typed = {"1 35 0", "1 35 1", "1 23 0", "1 23 1"};
    EXPECT_EQ(typed, SimSystemAtLeast(app, 4));
    StopCapture();
    EXPECT_EQ("0", SimCommand(app, "filter 2"));
    EXPECT_EQ("ok", SimCommand(app, "type 2 q"));
    std::vector<std::string> after = {"2 16 0", "2 16 1"};
    EXPECT_EQ(after, SimSystemAtLeast(app, 2));
    EXPECT_EQ("[Capture]\r\nActive=0\r\n", ReadSettingsFile(L"capture_state.ini"));
}

TEST_F(CaptureTest, RefusalsComeInTheirOrder) {
    // No driver comes first, whatever the device list and the port say.
    AppOptions noDriver;
    noDriver.driverUnavailable = true;
    WriteSettings(ConfigFor(0, 0));
    ASSERT_TRUE(Launch(app, noDriver));
    HWND startBox = WaitForBox(L"Driver Error");
    ASSERT_NE(nullptr, startBox);
    DismissMessageBox(startBox);
    // Gone before Start is pressed, so that the refusal's box is not taken for it.
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(startBox); }));
    app.window = FindProcessWindow(app.process.dwProcessId, MainWindowCaption, 20s);
    ASSERT_TRUE(RoundTrip(app));
    ExpectRefusal(L"Driver Error", DriverMissingText);
    Kill(app);

    AppOptions noDevices;
    noDevices.devices = "";
    Start(ConfigFor(0, 0), noDevices);
    ExpectRefusal(L"Error", L"Please select a device.");
    Kill(app);

    Start(ConfigFor(2, port));
    for (const wchar_t* text : {L"", L"0", L"65536"}) {
        SetControlText(app.window, IDC_PORT, text);
        ExpectRefusal(L"Error", L"Invalid port.");
    }
    ASSERT_TRUE(RoundTrip(app));
    EXPECT_EQ(std::wstring::npos, LogText(app).find(L"Capture started"));
    // 65536 plus p wraps to p.
    uint16_t other = FreeTcpPort();
    SetControlText(app.window, IDC_PORT, std::to_wstring(65536 + other));
    StartCapture();
    EXPECT_NE(std::string::npos,
              ReadSettingsFile(L"config.ini").find("Port=" + std::to_string(other) + "\r\n"));
}

TEST_F(CaptureTest, QuitWhileCapturingRestartsCaptureAtTheNextStart) {
    Start(ConfigFor(2, port));
    StartCapture();
    EXPECT_EQ("[Capture]\r\nActive=1\r\n", ReadSettingsFile(L"capture_state.ini"));
    PostMessageW(app.window, WM_KEYDOWN, VK_ESCAPE, 0);
    ASSERT_EQ(0, WaitForExit(app));
    Kill(app);
    EXPECT_EQ("[Capture]\r\nActive=1\r\n", ReadSettingsFile(L"capture_state.ini"));
    // The filter is clear again: the scanner types into the system while the program is gone.

    ASSERT_TRUE(LaunchAndFindWindow(app, {}));
    ASSERT_TRUE(WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Connected"));
    EXPECT_TRUE(WaitForLog(app, L"Auto-restart: capture was active on last shutdown"));
    EXPECT_TRUE(WaitForLog(app, L"Capture started on " + ScannerDescription));
    Connect();
    EXPECT_EQ(BuildScanFrame("Z\r"), ScanAndReceive("z", BuildScanFrame("Z\r").size()));
}

TEST_F(CaptureTest, NewDeviceWhileCapturingMovesCaptureAndRefreshChangesNothing) {
    Start(ConfigFor(1, port));
    StartCapture();
    ASSERT_TRUE(WaitForLog(app, L"Capture started on PNP0303"));
    ChooseDevice(app, 1);
    ASSERT_TRUE(WaitForLog(app, L"Capture started on " + ScannerDescription));
    std::vector<std::wstring> entries = LogEntries(app);
    std::vector<std::wstring> tail(entries.end() - 4, entries.end());
    std::vector<std::wstring> expected = {
        L"Device changed: " + ScannerDescription, L"Restarting capture on the new device...",
        L"Capture stopped.", L"Capture started on " + ScannerDescription};
    EXPECT_EQ(expected, tail);
    EXPECT_EQ("[Capture]\r\nActive=1\r\n", ReadSettingsFile(L"capture_state.ini"));
    EXPECT_NE(std::string::npos, ReadSettingsFile(L"config.ini").find("InterceptionId=2"));

    std::string config = ReadSettingsFile(L"config.ini");
    std::wstring log = LogText(app);
    PostCommand(app, IDC_REFRESH);
    ASSERT_TRUE(RoundTrip(app));
    // The selector goes on showing the captured device.
    EXPECT_EQ(1, SendDlgItemMessageW(app.window, IDC_DEVICE_SELECTOR, CB_GETCURSEL, 0, 0));
    EXPECT_EQ(config, ReadSettingsFile(L"config.ini"));
    EXPECT_EQ(log, LogText(app));
    // Capture goes on with the device it was started on.
    Connect();
    EXPECT_EQ(BuildScanFrame("R\r"), ScanAndReceive("r", BuildScanFrame("R\r").size()));
}

TEST_F(CaptureTest, SelectingAnotherDeviceWhileStoppedOnlySavesAndLogs) {
    Start(ConfigFor(1, port));
    size_t before = LogEntries(app).size();
    ChooseDevice(app, 1);
    ASSERT_TRUE(WaitForLog(app, L"Device changed: " + ScannerDescription));
    ASSERT_TRUE(RoundTrip(app));
    EXPECT_EQ(before + 1, LogEntries(app).size());
    EXPECT_EQ(L"Disconnected", ControlText(app.window, IDC_CAPTURE_STATUS));
    EXPECT_NE(std::string::npos, ReadSettingsFile(L"config.ini").find("InterceptionId=2"));
}

}  // namespace
