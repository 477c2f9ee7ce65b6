#include "shell/tray_icon.h"

#include "common/app_messages.h"
#include "common/log_line.h"
#include "resources/resource.h"

#include <commctrl.h>
#include <windowsx.h>

namespace {

constexpr UINT TrayIconId = 1;
constexpr UINT TrayRetryMilliseconds = 2000;
// A minute of tries: a logon's shell is up by then.
constexpr int TrayAttempts = 30;

NOTIFYICONDATAW TrayIconData = {};
HICON TrayIcon = nullptr;
int trayAttemptsLeft = 0;

void ShowTrayMenu(HWND dialog, WPARAM anchor) {
    HMENU menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_TRAY_MENU));
    if (menu == nullptr) {
        return;
    }
    HMENU popup = GetSubMenu(menu, 0);
    // What a click or Enter on the icon does, shown in bold.
    SetMenuDefaultItem(popup, IDM_SHOW_WINDOW, FALSE);
    UINT align = GetSystemMetrics(SM_MENUDROPALIGNMENT) != 0 ? TPM_RIGHTALIGN : TPM_LEFTALIGN;
    // A notification-area menu needs its window in the foreground, or it does not close when
    // the user clicks elsewhere; and a message after it, or the next right-click may make it
    // vanish at once.
    SetForegroundWindow(dialog);
    TrackPopupMenu(popup, align | TPM_RIGHTBUTTON, GET_X_LPARAM(anchor), GET_Y_LPARAM(anchor), 0,
                   dialog, nullptr);
    PostMessageW(dialog, WM_NULL, 0, 0);
    DestroyMenu(menu);
}

// The icon at the size the shell draws it at this DPI, from the icon's own images.
HICON LoadTrayIcon() {
    HICON icon = nullptr;
    if (FAILED(LoadIconMetric(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP), LIM_SMALL,
                              &icon))) {
        return nullptr;
    }
    return icon;
}

bool TryAddTrayIcon() {
    // A shell that says it restarted may still hold the icon: changing it then succeeds.
    if (!Shell_NotifyIconW(NIM_ADD, &TrayIconData) &&
        !Shell_NotifyIconW(NIM_MODIFY, &TrayIconData)) {
        return false;
    }
    // Version 4: keyboard selection, the menu key and the icon's place for the menu.
    TrayIconData.uVersion = NOTIFYICON_VERSION_4;
    Shell_NotifyIconW(NIM_SETVERSION, &TrayIconData);
    return true;
}

}  // namespace

HICON LoadSmallAppIcon() {
    // The icon's own 16-pixel image at the system's small size, not the large one scaled down.
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP),
                                         IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                         GetSystemMetrics(SM_CYSMICON), LR_SHARED));
}

void AddTrayIcon(HWND dialog) {
    if (TrayIcon == nullptr) {
        TrayIcon = LoadTrayIcon();
    }
    TrayIconData = {};
    TrayIconData.cbSize = sizeof TrayIconData;
    TrayIconData.hWnd = dialog;
    TrayIconData.uID = TrayIconId;
    // Version 4 shows the tip only when asked to.
    TrayIconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP;
    TrayIconData.uCallbackMessage = WM_APP_TRAY;
    TrayIconData.hIcon = TrayIcon != nullptr ? TrayIcon : LoadSmallAppIcon();
    lstrcpynW(TrayIconData.szTip, L"Ferroquill", ARRAYSIZE(TrayIconData.szTip));
    KillTimer(dialog, TrayRetryTimer);
    if (TryAddTrayIcon()) {
        return;
    }
    trayAttemptsLeft = TrayAttempts;
    SetTimer(dialog, TrayRetryTimer, TrayRetryMilliseconds, nullptr);
}

void RetryTrayIcon(HWND dialog) {
    if (TryAddTrayIcon()) {
        KillTimer(dialog, TrayRetryTimer);
        return;
    }
    if (--trayAttemptsLeft > 0) {
        return;
    }
    KillTimer(dialog, TrayRetryTimer);
    // The shell's restart broadcast still adds it, should the shell come later.
    LogLine(L"The notification-area icon could not be added: the window stays open.");
    ShowWindow(dialog, SW_SHOW);
}

void RemoveTrayIcon() {
    Shell_NotifyIconW(NIM_DELETE, &TrayIconData);
    if (TrayIcon != nullptr) {
        DestroyIcon(TrayIcon);
        TrayIcon = nullptr;
    }
}

void OnTrayMessage(HWND dialog, WPARAM anchor, LPARAM event) {
    switch (LOWORD(event)) {
        case NIN_SELECT:
        case NIN_KEYSELECT:
        case WM_LBUTTONDBLCLK:
            ShowWindow(dialog, SW_SHOW);
            SetForegroundWindow(dialog);
            break;
        case WM_CONTEXTMENU:
            ShowTrayMenu(dialog, anchor);
            break;
        default:
            break;
    }
}
