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
extern HFONT TitleFont;
extern HFONT GroupBoxFont;

INT_PTR CALLBACK MainDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The WM_INITDIALOG sequence.
void InitializeMainDialog(HWND dialog);
// Releases the brushes, fonts and driver context (WM_DESTROY).
void ReleaseMainDialog();

// The command table; TRUE for a handled command.
INT_PTR HandleCommand(HWND dialog, WORD id, WORD notification);

// The pause length field is for scans that end at a pause only.
void ShowPauseField(HWND dialog);

// Saves the settings with the selected device's number, or 0 when none is selected.
void SaveSettingsForSelection(HWND dialog);

// Shows, restores and raises the window for a second start of the program.
void ShowRunningInstance(HWND dialog);
