// The program's only window: a modeless dialog whose procedure is the hub of the UI thread.
#pragma once

#include <windows.h>

// Started with --tray, as at logon: nothing modal is shown at start.
extern bool StartedAtLogon;

// Registered during static initialisation, "TaskbarCreated" first.
extern const UINT WM_TASKBAR_CREATED;
extern const UINT WM_SHOW_INSTANCE;

extern HBRUSH GreenBrush;
extern HBRUSH RedBrush;
extern HBRUSH OrangeBrush;
extern HBRUSH BlueBrush;

INT_PTR CALLBACK MainDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The WM_INITDIALOG sequence.
void InitializeMainDialog(HWND dialog);
// Releases the brushes, fonts and driver context (WM_DESTROY).
void ReleaseMainDialog();

// The window's DPI when it opens: its monitor's on Windows 10 and later (the window is per-monitor
// aware), the system's on Windows 8 and 8.1.
UINT DpiAtStart(HWND dialog);
// Windows scales the dialog's own font and template controls; the window's icons, the title and
// group box fonts, the pictures and the log panel's layout are made here for the DPI given (at
// start, and on WM_APP_DPI_CHANGED).
void ApplyWindowDpi(HWND dialog, UINT dpi);
// WM_DPICHANGED under per-monitor V2: the window takes the rectangle Windows suggests, and the
// rest follows once Windows has rescaled the controls. Under V1 (Windows 8.1) nothing changes.
void OnDpiChanged(HWND dialog, WPARAM dpi, const RECT* suggested);
// The window's outer height for the client height given, at the window's DPI.
int WindowHeightForClient(HWND dialog, int clientHeight);
// Deletes the fonts and bitmaps made for the DPI (WM_DESTROY).
void ReleaseWindowDpiObjects();

// The command table; TRUE for a handled command.
INT_PTR HandleCommand(HWND dialog, WORD id, WORD notification);

// The pause length field is for scans that end at a pause only.
void ShowPauseField(HWND dialog);

// Saves the settings with the selected device's number, or 0 when none is selected.
void SaveSettingsForSelection(HWND dialog);

// Shows, restores and raises the window for a second start of the program.
void ShowRunningInstance(HWND dialog);
