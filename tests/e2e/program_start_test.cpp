// The program as a whole, started as its own process: visibility at start, one copy per
// machine, quitting, the driver error path and the controls it fills at start.
#include "e2e/program_test.h"

#include "forwarding/scan_frame.h"
#include "resources/resource.h"
#include "support/test_client.h"
#include "support/test_environment.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <vector>

namespace {

using namespace std::chrono_literals;

const wchar_t* RunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

class ProgramStartTest : public ProgramTest {
protected:
    // A user who has run the program before: config.ini exists.
    void SetUpBefore() { WriteSettings(ConfigFor(0, port)); }

    void QuitWithEscape() {
        PostMessageW(app.window, WM_KEYDOWN, VK_ESCAPE, 0);
        EXPECT_EQ(0, WaitForExit(app));
        Kill(app);
    }
};

enum class Before { Nothing, Settings, CutShort };

struct VisibilityCase {
    Before before;
    const wchar_t* arguments;
    bool visible;
};

TEST_F(ProgramStartTest, WindowShowsOnlyAtTheFirstStartWithoutTheTraySwitch) {
    const VisibilityCase cases[] = {
        {Before::Nothing, L"", true},
        {Before::Nothing, L"--TRAY", true},
        {Before::Nothing, L"--tray", false},
        {Before::Nothing, L"x--trayx", false},
        {Before::Nothing, L"first \"second --tray third\"", false},
        {Before::Settings, L"", false},
        {Before::Settings, L"--tray", false},
        {Before::CutShort, L"", true},  // as if it were the first start
    };
    for (const VisibilityCase& c : cases) {
        SCOPED_TRACE(Narrow(c.arguments));
        ResetUserState();
        if (c.before == Before::Settings) {
            SetUpBefore();
        } else if (c.before == Before::CutShort) {
            WriteSettings("[Device]\r\nInterceptionId=2\r\nHardw");
        }
        ASSERT_TRUE(LaunchAndFindWindow(app, {c.arguments}));
        if (c.visible) {
            EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(app.window) != FALSE; }));
        } else {
            ASSERT_TRUE(RoundTrip(app));
            EXPECT_FALSE(IsWindowVisible(app.window));
        }
        QuitWithEscape();
    }
}

TEST_F(ProgramStartTest, SecondStartExitsAndBringsTheRunningWindowForward) {
    SetUpBefore();
    ASSERT_TRUE(LaunchAndFindWindow(app, {L"--tray"}));
    ASSERT_FALSE(IsWindowVisible(app.window));
    // The start-with-logon value must stay as the second copy finds it.
    RegSetKeyValueW(HKEY_CURRENT_USER, RunKey, L"Wendalux", REG_SZ, L"sentinel", 18);

    // From a folder without the driver: a copy that exits at once never loads it, and the
    // harness would wait for the stand-in's port.
    AppOptions byHand;
    byHand.withDriver = false;
    for (int round = 0; round < 2; ++round) {
        App second;
        ASSERT_TRUE(Launch(second, byHand));
        EXPECT_EQ(0, WaitForExit(second));
        Kill(second);
        EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(app.window) != FALSE; }));
        EXPECT_TRUE(WaitUntil([&] { return IsIconic(app.window) == FALSE; }));
        // Next round: minimised, and it is restored too.
        ShowWindow(app.window, SW_MINIMIZE);
        ASSERT_TRUE(WaitUntil([&] { return IsIconic(app.window) != FALSE; }));
    }
    wchar_t value[64] = {};
    DWORD size = sizeof value;
    RegGetValueW(HKEY_CURRENT_USER, RunKey, L"Wendalux", RRF_RT_REG_SZ, nullptr, value, &size);
    EXPECT_EQ(std::wstring(L"sentinel"), value);

    // A second start at logon (the user's Run value beside the machine's) shows nothing.
    ShowWindow(app.window, SW_HIDE);
    byHand.arguments = L"--tray";
    App second;
    ASSERT_TRUE(Launch(second, byHand));
    EXPECT_EQ(0, WaitForExit(second));
    Kill(second);
    ASSERT_TRUE(RoundTrip(app));
    EXPECT_FALSE(IsWindowVisible(app.window));
    QuitWithEscape();
}

TEST_F(ProgramStartTest, ACopyInAnotherSessionIsToldByHandAlwaysAndAtLogonOnce) {
    SetUpBefore();
    // The machine-wide mutex held where this session has no window: another user's copy.
    HANDLE otherCopy = CreateMutexW(nullptr, TRUE, L"Global\\Wendalux_Singleton");
    ASSERT_NE(nullptr, otherCopy);
    {
        // A copy of this session still without its window (slow to start or to quit) is no
        // other session's: nothing is said, and the one notice at logon is kept for later.
        HANDLE sameSession = CreateMutexW(nullptr, FALSE, L"Local\\Wendalux_Session");
        AppOptions atLogon{L"--tray"};
        atLogon.withDriver = false;
        App slow;
        ASSERT_TRUE(Launch(slow, atLogon));
        EXPECT_EQ(0, WaitForExit(slow));
        Kill(slow);
        CloseHandle(sameSession);
    }
    const struct {
        const wchar_t* arguments;
        bool told;
    } starts[] = {{L"--tray", true}, {L"--tray", false}, {L"", true}};
    for (const auto& start : starts) {
        SCOPED_TRACE(Narrow(start.arguments));
        AppOptions options{start.arguments};
        options.withDriver = false;
        App other;
        ASSERT_TRUE(Launch(other, options));
        if (start.told) {
            HWND box = FindProcessWindow(other.process.dwProcessId, L"Wendalux", 30s);
            ASSERT_NE(nullptr, box);
            EXPECT_NE(std::wstring::npos, MessageBoxText(box).find(L"another user's session"));
            DismissMessageBox(box);
        }
        // A box would keep it from ending.
        EXPECT_EQ(0, WaitForExit(other));
        Kill(other);
    }
    CloseHandle(otherCopy);
}

TEST_F(ProgramStartTest, CloseBoxHidesEscapeQuitsAndFreesThePort) {
    SetUpBefore();
    ASSERT_TRUE(LaunchAndFindWindow(app, {}));
    ASSERT_TRUE(WaitForLog(app, L"TCP server listening on port " + std::to_wstring(port)));
    ShowWindow(app.window, SW_SHOW);
    PostMessageW(app.window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(app.window) == FALSE; }));
    // The window goes on handling messages after the close, and the program runs on.
    ASSERT_TRUE(RoundTrip(app));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(app.process.hProcess, 0));
    QuitWithEscape();
    SocketHandle probe = SocketOpenStream();
    EXPECT_TRUE(SocketBind(probe, AnyAddress, port));
    SocketClose(probe);
}

TEST_F(ProgramStartTest, WithoutTheDriverTheUserIsToldAndTheLogSaysSo) {
    for (bool libraryPresent : {true, false}) {
        SCOPED_TRACE(libraryPresent ? "driver refuses" : "no interception.dll");
        SetUpBefore();
        AppOptions options;
        options.driverUnavailable = libraryPresent;
        options.withDriver = libraryPresent;
        ASSERT_TRUE(Launch(app, options));
        HWND box = FindProcessWindow(app.process.dwProcessId, L"Driver Error", 30s);
        ASSERT_NE(nullptr, box);
        EXPECT_EQ(DriverMissingText, MessageBoxText(box));
        DismissMessageBox(box);
        app.window = FindProcessWindow(app.process.dwProcessId, MainWindowCaption, 30s);
        ASSERT_NE(nullptr, app.window);
        EXPECT_TRUE(WaitForLog(app, L"WARNING: Interception driver unavailable."));
        EXPECT_EQ(0, SendDlgItemMessageW(app.window, IDC_DEVICE_SELECTOR, CB_GETCOUNT, 0, 0));
        QuitWithEscape();
    }
}

TEST_F(ProgramStartTest, AtLogonADriverThatComesUpLateIsWaitedForWithoutABox) {
    WriteSettings(ConfigFor(2, port), "[Capture]\r\nActive=1\r\n");
    AppOptions options;
    options.arguments = L"--tray";
    options.unavailableCalls = 2;  // at the start and at the automatic restart
    ASSERT_TRUE(LaunchAndFindWindow(app, options));
    EXPECT_TRUE(WaitForLog(app, L"WARNING: Interception driver unavailable."));
    EXPECT_TRUE(WaitForLog(app,
                           L"Auto-restart: the keyboard filter driver is not available yet; "
                           L"capture starts when it is."));
    ASSERT_TRUE(WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Connected"));
    EXPECT_EQ(nullptr, FindProcessWindow(app.process.dwProcessId, L"Driver Error", 0s));
    EXPECT_NE(std::string::npos, ReadSettingsFile(L"capture_state.ini").find("Active=1"));
    client = ConnectClient(port);
    ASSERT_TRUE(WaitForControlText(app.window, IDC_TCP_STATUS, L"Connected"));
    ASSERT_EQ("ok", SimCommand(app, "scan 2 LATE"));
    std::string frame = BuildScanFrame("LATE\r");
    EXPECT_EQ(frame, ReadBytes(client, frame.size()));
}

TEST_F(ProgramStartTest, StopGivesUpARestartThatWaitsForTheDriver) {
    WriteSettings(ConfigFor(2, port), "[Capture]\r\nActive=1\r\n");
    AppOptions options;
    options.arguments = L"--tray";
    options.driverUnavailable = true;  // never comes up
    ASSERT_TRUE(LaunchAndFindWindow(app, options));
    ASSERT_TRUE(WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Waiting for driver"));
    EXPECT_EQ(L"&Stop", ControlText(app.window, IDC_START_STOP));
    PostCommand(app, IDC_START_STOP);
    ASSERT_TRUE(WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Disconnected"));
    EXPECT_EQ(L"&Start", ControlText(app.window, IDC_START_STOP));
    EXPECT_NE(std::string::npos, ReadSettingsFile(L"capture_state.ini").find("Active=0"));
}

TEST_F(ProgramStartTest, ControlsShowAddressPortDevicesAndStatus) {
    WriteSettings("[Device]\r\nInterceptionId=0\r\n[Tcp]\r\nPort=" + std::to_string(port) +
                  "\r\nCase=lower\r\nIncludeEnter=0\r\n");
    ASSERT_TRUE(LaunchAndFindWindow(app, {}));
    EXPECT_TRUE(std::regex_match(ControlText(app.window, IDC_LOCAL_IP),
                                 std::wregex(L"[0-9]{1,3}(\\.[0-9]{1,3}){3}")));
    EXPECT_EQ(std::to_wstring(port), ControlText(app.window, IDC_PORT));
    EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(app.window, IDC_CASE_LOWER));
    EXPECT_EQ(BST_UNCHECKED, IsDlgButtonChecked(app.window, IDC_INCLUDE_ENTER));
    HWND selector = GetDlgItem(app.window, IDC_DEVICE_SELECTOR);
    ASSERT_EQ(2, SendMessageW(selector, CB_GETCOUNT, 0, 0));
    EXPECT_EQ(-1, SendMessageW(selector, CB_GETCURSEL, 0, 0));  // nothing chosen yet
    EXPECT_TRUE(WaitForLog(app, L"Interception driver initialized."));

    ASSERT_TRUE(WaitForControlText(app.window, IDC_TCP_STATUS, L"Listening"));
    PostMessageW(app.window, 0x8004, 5, 0);
    EXPECT_TRUE(WaitForControlText(app.window, IDC_TCP_STATUS, L"Disconnected"));
    EXPECT_EQ(L"Disconnected", ControlText(app.window, IDC_CAPTURE_STATUS));
    QuitWithEscape();
}

TEST_F(ProgramStartTest, StartRegistersTheQuotedPathWithTheTraySwitch) {
    SetUpBefore();
    ASSERT_TRUE(LaunchAndFindWindow(app, {}));
    wchar_t value[1024] = {};
    DWORD size = sizeof value;
    ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_CURRENT_USER, RunKey, L"Wendalux", RRF_RT_REG_SZ,
                                          nullptr, value, &size));
    EXPECT_EQ(L"\"" + ProgramCopyPath(true) + L"\" --tray", std::wstring(value));
    // And with Windows, to be started again after an installer has closed it.
    EXPECT_TRUE(WaitForLog(app, L"Restart after an update: registered with Windows (--tray)."));
    QuitWithEscape();
}

// A dialog template whose one control has a window class that does not exist: creating the
// dialog then fails, as it would with a damaged resource.
std::vector<WORD> BrokenDialogTemplate() {
    std::vector<WORD> words;
    auto dword = [&words](DWORD value) {
        words.push_back(LOWORD(value));
        words.push_back(HIWORD(value));
    };
    dword(WS_POPUP);
    dword(0);
    for (WORD value : {1, 0, 0, 10, 10, 0, 0, 0}) {  // one control; no menu, class or title
        words.push_back(value);
    }
    dword(WS_CHILD | WS_VISIBLE);
    dword(0);
    for (WORD value : {0, 0, 5, 5, 1}) {
        words.push_back(value);
    }
    for (const wchar_t* c = L"NoSuchWindowClass"; *c != L'\0'; ++c) {
        words.push_back(*c);
    }
    for (WORD value : {0, 0, 0}) {
        words.push_back(value);
    }
    return words;
}

TEST_F(ProgramStartTest, DialogThatCannotBeCreatedEndsWithCodeOne) {
    std::wstring program = PrepareProgramCopy(L"wendalux broken dialog");
    HANDLE update = BeginUpdateResourceW(program.c_str(), FALSE);
    ASSERT_NE(nullptr, update);
    std::vector<WORD> broken = BrokenDialogTemplate();
    ASSERT_TRUE(UpdateResourceW(update, RT_DIALOG, MAKEINTRESOURCEW(IDD_MAIN),
                                MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), broken.data(),
                                static_cast<DWORD>(broken.size() * sizeof(WORD))));
    ASSERT_TRUE(EndUpdateResourceW(update, FALSE));
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    std::wstring command = L"\"" + program + L"\"";
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &app.process));
    HWND box = FindProcessWindow(app.process.dwProcessId, L"Error", 30s);
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(L"Failed to create dialog.", MessageBoxText(box));
    DismissMessageBox(box);
    EXPECT_EQ(1, WaitForExit(app));
}

}  // namespace
