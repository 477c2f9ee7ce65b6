// The program's icon in the notification area, the user's way back to a hidden window.
#pragma once

#include <windows.h>
#include <shellapi.h>

// While the shell refuses the icon (early in a logon, before Explorer is ready), adding it is
// tried again on this timer; if it keeps failing the window is shown, so that the program is
// never running and unreachable.
constexpr UINT_PTR TrayRetryTimer = 5;

// The program's icon at the system's small-icon size (shared: never destroyed).
HICON LoadSmallAppIcon();
// Adds the icon, or schedules another try. Also for a shell that has restarted.
void AddTrayIcon(HWND dialog);
// TrayRetryTimer.
void RetryTrayIcon(HWND dialog);
void RemoveTrayIcon();
// WM_APP_TRAY, in the notification-icon version 4 form: the event in LOWORD(lParam), the
// point the menu belongs at (the pointer, or the icon when chosen by keyboard) in wParam.
void OnTrayMessage(HWND dialog, WPARAM anchor, LPARAM event);
