// The server controls, the activity log panel and the tray icon, operated on the real program.
#include "e2e/program_test.h"

#include "forwarding/scan_frame.h"
#include "resources/resource.h"
#include "support/test_client.h"
#include "support/test_environment.h"

#include <gtest/gtest.h>

#include <shellapi.h>

#include <algorithm>
#include <cwctype>
#include <map>
#include <set>

namespace {

using namespace std::chrono_literals;

class PanelTest : public RunningProgramTest {
protected:
    size_t Count(const std::wstring& entry) {
        size_t count = 0;
        for (const auto& line : LogEntries(app)) {
            count += line == entry;
        }
        return count;
    }
};

TEST_F(PanelTest, ResetDropsTheClientOnlyWhileCapturing) {
    SocketHandle client = ConnectClient(port);
    ASSERT_TRUE(WaitForControlText(app.window, IDC_TCP_STATUS, L"Connected"));
    PostCommand(app, IDC_RESET);
    ASSERT_TRUE(RoundTrip(app));
    EXPECT_EQ(0u, Count(L"Reset: client connection closed."));
    EXPECT_EQ(L"Connected", ControlText(app.window, IDC_TCP_STATUS));

    StartCapture();
    PostCommand(app, IDC_RESET);
    EXPECT_TRUE(WaitForClose(client));
    EXPECT_TRUE(WaitForLog(app, L"Reset: client connection closed."));
    EXPECT_TRUE(WaitForControlText(app.window, IDC_TCP_STATUS, L"Listening"));
    SocketClose(client);
    // The listening socket stayed open: a client connects again at once.
    client = ConnectClient(port);
    EXPECT_TRUE(WaitForControlText(app.window, IDC_TCP_STATUS, L"Connected"));
    SocketClose(client);
}

TEST_F(PanelTest, PortEditedKeyByKeyWhileCapturingMovesTheServerEachTime) {
    StartCapture();
    uint16_t target = FreeTcpPort();
    std::wstring from = std::to_wstring(port), to = std::to_wstring(target);
    std::vector<std::wstring> texts;
    for (size_t length = from.size() - 1; length > 0; --length) {
        texts.push_back(from.substr(0, length));
    }
    texts.push_back(L"");
    for (size_t length = 1; length <= to.size(); ++length) {
        texts.push_back(to.substr(0, length));
    }
    // Each edit that gives a new non-zero port restarts the server: the empty field does
    // not, nor does a value equal to the port in force.
    std::map<std::wstring, size_t> restarts;
    std::wstring current = from;
    for (const std::wstring& text : texts) {
        SetControlText(app.window, IDC_PORT, text);
        if (text.empty() || text == current) {
            continue;
        }
        current = text;
        ++restarts[text];
        EXPECT_TRUE(WaitForLog(app, L"TCP server listening on port " + text + L"\r\n"))
            << Narrow(text);
    }
    ASSERT_TRUE(RoundTrip(app));
    for (const auto& [text, times] : restarts) {
        EXPECT_EQ(times, Count(L"Port changed to " + text + L" - restarting TCP server..."))
            << Narrow(text);
    }
    ASSERT_TRUE(WaitForControlText(app.window, IDC_TCP_STATUS, L"Listening"));
    SocketHandle client = ConnectClient(target);
    ASSERT_NE(InvalidSocket, client);
    EXPECT_TRUE(WaitForControlText(app.window, IDC_TCP_STATUS, L"Connected"));
    EXPECT_EQ("ok", SimCommand(app, "scan 2 808"));
    EXPECT_EQ(BuildScanFrame("808\r"), ReadBytes(client, BuildScanFrame("808\r").size()));
    SocketClose(client);
    PostCommand(app, IDC_PORT, EN_KILLFOCUS);
    ASSERT_TRUE(RoundTrip(app));
    EXPECT_NE(std::string::npos, ReadSettingsFile(L"config.ini").find("Port=" + Narrow(to)));
}

TEST_F(PanelTest, PortEditedWhileStoppedIsOnlySavedOnceTheFieldIsLeft) {
    uint16_t target = FreeTcpPort();
    SetControlText(app.window, IDC_PORT, std::to_wstring(target));
    ASSERT_TRUE(RoundTrip(app));
    EXPECT_EQ(std::string::npos,
              ReadSettingsFile(L"config.ini").find("Port=" + std::to_string(target)));
    PostCommand(app, IDC_PORT, EN_KILLFOCUS);
    ASSERT_TRUE(RoundTrip(app));
    EXPECT_NE(std::string::npos,
              ReadSettingsFile(L"config.ini").find("Port=" + std::to_string(target)));
    EXPECT_EQ(0u, Count(L"TCP server listening on port " + std::to_wstring(target)));
    SocketHandle client = ConnectClient(port);  // still on the old port
    EXPECT_NE(InvalidSocket, client);
    SocketClose(client);
}

TEST_F(PanelTest, EnterInAFieldAppliesItAndNeverStopsCapture) {
    StartCapture();
    PostCommand(app, IDM_SHOW_WINDOW);
    auto pressEnterIn = [&](HWND field) {
        PostMessageW(app.window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(field), TRUE);
        PostMessageW(field, WM_KEYDOWN, VK_RETURN, 1);
        PostMessageW(field, WM_KEYUP, VK_RETURN, 0xC0000001);
        ASSERT_TRUE(RoundTrip(app));
    };
    uint16_t target = FreeTcpPort();
    SetControlText(app.window, IDC_PORT, std::to_wstring(target));
    ASSERT_TRUE(WaitForLog(app, L"TCP server listening on port " + std::to_wstring(target)));
    pressEnterIn(GetDlgItem(app.window, IDC_PORT));
    // Saved as on leaving the field, which only the Enter can have done here.
    EXPECT_NE(std::string::npos,
              ReadSettingsFile(L"config.ini").find("Port=" + std::to_string(target)));
    EXPECT_EQ(L"Connected", ControlText(app.window, IDC_CAPTURE_STATUS));

    HWND accept = GetDlgItem(app.window, IDC_ACCEPT);
    SetWindowTextW(GetWindow(accept, GW_CHILD), L"local");  // typed, not yet left
    pressEnterIn(GetWindow(accept, GW_CHILD));
    EXPECT_TRUE(WaitForLog(app, L"Accept changed to local - restarting TCP server..."));
    ASSERT_TRUE(RoundTrip(app));
    EXPECT_EQ(L"Connected", ControlText(app.window, IDC_CAPTURE_STATUS));
    EXPECT_EQ(L"&Stop", ControlText(app.window, IDC_START_STOP));
}

TEST_F(PanelTest, MnemonicsAreUniqueAndLabelsLeadToTheirFields) {
    PostCommand(app, IDM_SHOW_WINDOW);
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(app.window) != FALSE; }));
    std::map<wchar_t, std::wstring> taken;
    for (HWND child = GetWindow(app.window, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[16] = {};
        GetClassNameW(child, className, 16);
        std::wstring text = WindowText(child);
        size_t mark = text.find(L'&');
        if ((lstrcmpiW(className, L"Button") != 0 && lstrcmpiW(className, L"Static") != 0) ||
            mark == std::wstring::npos || mark + 1 == text.size()) {
            continue;
        }
        auto key = static_cast<wchar_t>(std::towupper(text[mark + 1]));
        EXPECT_TRUE(taken.emplace(key, text).second)
            << Narrow(text) << " and " << Narrow(taken[key]);
    }
    EXPECT_GE(taken.size(), 16u);
    // Alt and a label's letter moves to the control after the label.
    for (int field : {IDC_PORT, IDC_ACCEPT, IDC_DEVICE_SELECTOR, IDC_SCAN_END, IDC_PAUSE_MS}) {
        std::wstring label = WindowText(GetWindow(GetDlgItem(app.window, field), GW_HWNDPREV));
        EXPECT_NE(std::wstring::npos, label.find(L'&')) << field << " " << Narrow(label);
    }
    // The arrow keys keep to the case buttons.
    std::set<int> group;
    HWND item = GetDlgItem(app.window, IDC_CASE_UPPER);
    while (item != nullptr && group.insert(GetDlgCtrlID(item)).second) {
        item = GetNextDlgGroupItem(app.window, item, FALSE);
    }
    EXPECT_EQ((std::set<int>{IDC_CASE_UPPER, IDC_CASE_LOWER, IDC_CASE_AS_SCANNED}), group);
}

TEST_F(PanelTest, LongLogIsCutCopiedAndShown) {
    StartCapture();
    ASSERT_TRUE(WaitForLog(app, L"Capture started on"));
    std::vector<std::wstring> logged = LogEntries(app);
    for (int scan = 1; scan <= 1200; ++scan) {
        ASSERT_EQ("ok", SimCommand(app, "scan 2 " + std::to_string(scan)));
        logged.push_back(L"SCAN #" + std::to_wstring(scan) + L" -> " + std::to_wstring(scan) +
                         L" (no client)");
    }
    ASSERT_TRUE(WaitForLog(app, L"SCAN #1200 -> 1200 (no client)", 60s));
    // The note, then the newest entries in the order logged, none missing, within the limit.
    std::vector<std::wstring> entries = LogEntries(app);
    ASSERT_GT(entries.size(), 500u);
    EXPECT_LT(entries.size(), 1001u);
    EXPECT_EQ(L"[... log truncated to keep memory usage low ...]", entries.front());
    EXPECT_TRUE(std::equal(entries.rbegin(), entries.rend() - 1, logged.rbegin()));

    // The panel's height: shown, then hidden again, gives the start height back.
    auto height = [&] {
        RECT window = {};
        GetWindowRect(app.window, &window);
        return window.bottom - window.top;
    };
    long start = height();
    PostCommand(app, IDC_LOG_TOGGLE);
    ASSERT_TRUE(WaitForControlText(app.window, IDC_LOG_TOGGLE, L"Hide L&og <<"));
    ASSERT_TRUE(RoundTrip(app));
    EXPECT_GT(height(), start);
    PostCommand(app, IDC_LOG_TOGGLE);
    ASSERT_TRUE(WaitForControlText(app.window, IDC_LOG_TOGGLE, L"Show L&og >>"));
    ASSERT_TRUE(RoundTrip(app));
    EXPECT_EQ(start, height());

    std::wstring before = LogText(app);
    PostCommand(app, IDC_COPY_LOG);
    ASSERT_TRUE(WaitForLog(app, L"Log copied to clipboard."));
    ASSERT_TRUE(OpenClipboard(nullptr));
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    std::wstring copied = data != nullptr ? static_cast<const wchar_t*>(GlobalLock(data)) : L"";
    if (data != nullptr) {
        GlobalUnlock(data);
    }
    CloseClipboard();
    EXPECT_EQ(before, copied);
    EXPECT_EQ(L"\r\n", copied.substr(copied.size() - 2));

    PostCommand(app, IDC_CLEAR_LOG);
    ASSERT_TRUE(WaitUntil([&] { return LogText(app).empty(); }));
    PostCommand(app, IDC_COPY_LOG);
    ASSERT_TRUE(RoundTrip(app));
    EXPECT_EQ(L"", LogText(app));  // an empty log copies nothing and says nothing
}

bool TrayIconExists(HWND window) {
    NOTIFYICONDATAW probe = {};
    probe.cbSize = sizeof probe;
    probe.hWnd = window;
    probe.uID = 1;
    probe.uFlags = NIF_TIP;
    lstrcpynW(probe.szTip, L"Ferroquill", ARRAYSIZE(probe.szTip));
    return Shell_NotifyIconW(NIM_MODIFY, &probe) != FALSE;
}

// A click on the icon as the user makes it: Wine without a desktop shell draws the
// notification area as a window of its own, one child per icon.
void ClickTrayIcon(DWORD down, DWORD up) {
    HWND area = FindWindowW(L"__winex11_standalone_tray", nullptr);
    HWND icon = FindWindowExW(area, nullptr, L"__winex11_tray_icon", nullptr);
    ASSERT_NE(nullptr, icon);
    RECT place = {};
    GetWindowRect(icon, &place);
    SetCursorPos((place.left + place.right) / 2, (place.top + place.bottom) / 2);
    INPUT clicks[2] = {};
    clicks[0].type = clicks[1].type = INPUT_MOUSE;
    clicks[0].mi.dwFlags = down;
    clicks[1].mi.dwFlags = up;
    ASSERT_EQ(2u, SendInput(2, clicks, sizeof(INPUT)));
}

HWND WaitForMenu() {
    HWND menu = nullptr;
    WaitUntil([&] {
        menu = FindWindowW(L"#32768", nullptr);
        return menu != nullptr && IsWindowVisible(menu);
    });
    return menu != nullptr && IsWindowVisible(menu) ? menu : nullptr;
}

TEST_F(PanelTest, TrayIconShowsHidesReturnsAndQuits) {
    ASSERT_TRUE(WaitUntil([&] { return TrayIconExists(app.window); }));
    ASSERT_FALSE(IsWindowVisible(app.window));
    ClickTrayIcon(MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(app.window) != FALSE; }));
    ClickTrayIcon(MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP);
    HWND clickedMenu = WaitForMenu();
    ASSERT_NE(nullptr, clickedMenu);
    PostMessageW(clickedMenu, WM_KEYDOWN, VK_ESCAPE, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(clickedMenu); }));
    PostCommand(app, IDM_HIDE_WINDOW);
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(app.window) == FALSE; }));
    PostMessageW(app.window, 0x8001, 1, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(app.window) != FALSE; }));
    // Version 4 events: Enter on the icon shows the window; a right click or the menu key
    // opens the menu where the shell says. (Wine's menu handles belong to their process: the
    // bold default item cannot be read from here.)
    PostCommand(app, IDM_HIDE_WINDOW);
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(app.window) == FALSE; }));
    PostMessageW(app.window, 0x8001, MAKEWPARAM(300, 400), MAKELPARAM(NIN_KEYSELECT, 1));
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(app.window) != FALSE; }));
    PostMessageW(app.window, 0x8001, MAKEWPARAM(300, 400), MAKELPARAM(WM_CONTEXTMENU, 1));
    HWND menu = WaitForMenu();
    ASSERT_NE(nullptr, menu);
    RECT place = {};
    GetWindowRect(menu, &place);
    EXPECT_EQ(300, place.left);
    EXPECT_EQ(400, place.top);
    PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(menu); }));
    PostCommand(app, IDM_HIDE_WINDOW);
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(app.window) == FALSE; }));
    PostCommand(app, IDM_HIDE_WINDOW);  // hiding a hidden window changes nothing
    ASSERT_TRUE(RoundTrip(app));
    EXPECT_FALSE(IsWindowVisible(app.window));
    PostCommand(app, IDM_SHOW_WINDOW);
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(app.window) != FALSE; }));
    PostCommand(app, IDC_MINIMIZE_TO_TRAY);
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(app.window) == FALSE; }));

    // A restarted shell has lost the icon and says so with a broadcast.
    NOTIFYICONDATAW lost = {};
    lost.cbSize = sizeof lost;
    lost.hWnd = app.window;
    lost.uID = 1;
    Shell_NotifyIconW(NIM_DELETE, &lost);
    ASSERT_FALSE(TrayIconExists(app.window));
    PostMessageW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return TrayIconExists(app.window); }));

    HWND window = app.window;
    StartCapture();
    PostCommand(app, IDM_QUIT);
    EXPECT_EQ(0, WaitForExit(app));
    EXPECT_FALSE(TrayIconExists(window));
    EXPECT_EQ("[Capture]\r\nActive=1\r\n", ReadSettingsFile(L"capture_state.ini"));
}

}  // namespace

namespace {

using WindowScaleTest = ProgramTest;

void SetLogPixels(DWORD dpi) {
    RegSetKeyValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels", REG_DWORD, &dpi,
                    sizeof dpi);
}

// The window with the log open, at the DPI Wine reads when the program starts; the DPI is 96
// again afterwards, for the other cases.
SIZE LogOpenWindowSize(App& app, DWORD dpi) {
    SetLogPixels(dpi);
    SIZE size = {};
    if (LaunchAndFindWindow(app, {})) {
        PostCommand(app, IDC_LOG_TOGGLE);
        if (WaitForControlText(app.window, IDC_LOG_TOGGLE, L"Hide L&og <<") && RoundTrip(app)) {
            RECT window = {};
            GetWindowRect(app.window, &window);
            size = {window.right - window.left, window.bottom - window.top};
        }
    }
    Kill(app);
    SetLogPixels(96);
    return size;
}

TEST_F(WindowScaleTest, LogOpenFitsA1366x768ScreenAt125Percent) {
    WriteSettings(ConfigFor(2, port));
    SIZE normal = LogOpenWindowSize(app, 96);
    SIZE large = LogOpenWindowSize(app, 120);
    ASSERT_GT(normal.cy, 0);
    // Scaled, not left at 96 DPI; and the taskbar leaves about 718 pixels.
    EXPECT_GE(large.cx, normal.cx * 6 / 5);
    EXPECT_LE(large.cx, 1366);
    EXPECT_LE(large.cy, 718);
}

}  // namespace
