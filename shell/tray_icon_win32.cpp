#include "shell/tray_icon.h"

#include "common/app_messages.h"
#include "resources/resource.h"

NOTIFYICONDATAW TrayIconData = {};

namespace {

constexpr UINT TrayIconId = 1;

void ShowTrayMenu(HWND dialog) {
    HMENU menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_TRAY_MENU));
    if (menu == nullptr) {
        return;
    }
    HMENU popup = GetSubMenu(menu, 0);
    POINT cursor = {};
    GetCursorPos(&cursor);
    // A notification-area menu needs its window in the foreground, or it does not close when
    // the user clicks elsewhere; and a message after it, or the next right-click may make it
    // vanish at once.
    SetForegroundWindow(dialog);
    TrackPopupMenu(popup, TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, dialog, nullptr);
    PostMessageW(dialog, WM_NULL, 0, 0);
    DestroyMenu(menu);
}

}  // namespace

HICON LoadSmallAppIcon() {
    // The icon's own 16-pixel image at the system's small size, not the large one scaled down.
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP),
                                         IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                         GetSystemMetrics(SM_CYSMICON), LR_SHARED));
}

void AddTrayIcon(HWND dialog) {
    TrayIconData = {};
    TrayIconData.cbSize = sizeof TrayIconData;
    TrayIconData.hWnd = dialog;
    TrayIconData.uID = TrayIconId;
    TrayIconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    TrayIconData.uCallbackMessage = WM_APP_TRAY;
    TrayIconData.hIcon = LoadSmallAppIcon();
    lstrcpynW(TrayIconData.szTip, L"Ferroquill", ARRAYSIZE(TrayIconData.szTip));
    Shell_NotifyIconW(NIM_ADD, &TrayIconData);
}

void RemoveTrayIcon() {
    Shell_NotifyIconW(NIM_DELETE, &TrayIconData);
}

void OnTrayMessage(HWND dialog, LPARAM mouseMessage) {
    if (mouseMessage == WM_LBUTTONDBLCLK) {
        ShowWindow(dialog, SW_SHOW);
        SetForegroundWindow(dialog);
    } else if (mouseMessage == WM_RBUTTONUP) {
        ShowTrayMenu(dialog);
    }
}
