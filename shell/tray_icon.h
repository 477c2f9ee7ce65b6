// The program's icon in the notification area, the user's way back to a hidden window.
#pragma once

#include <windows.h>
#include <shellapi.h>

extern NOTIFYICONDATAW TrayIconData;

// The program's icon at the system's small-icon size (shared: never destroyed).
HICON LoadSmallAppIcon();
void AddTrayIcon(HWND dialog);
void RemoveTrayIcon();
// WM_APP_TRAY: lParam is the mouse message.
void OnTrayMessage(HWND dialog, LPARAM mouseMessage);
