// The activity log panel: a read-only edit that keeps itself to about 1000 lines.
#pragma once

#include <windows.h>

#include <string>

extern bool LogPanelVisible;

// Lifts the edit control's default limit of 30,000 characters, which would otherwise cut or
// drop new lines silently long before the line limit applies.
void InitializeLog(HWND dialog);
// WM_APP_LOG and the once-a-second timer: appends the oldest part of the log queue, and the
// queue wakes the dialog again for the rest.
void AppendQueuedLogLines(HWND dialog);
void ClearLog(HWND dialog);
// Puts the log's text on the clipboard as Unicode text.
void CopyLog(HWND dialog);
// Shows or hides the log and fits the window's height to it, within the work area.
void SetLogPanelVisible(HWND dialog, bool visible);
