// The activity log panel: a read-only edit that keeps itself to about 1000 lines.
#pragma once

#include <windows.h>

#include <string>

extern bool LogPanelVisible;

// Lifts the edit control's default limit of 30,000 characters, which would otherwise cut or
// drop new lines silently long before the line limit applies.
void InitializeLog(HWND dialog);
// WM_APP_LOG: appends every line waiting in the log queue.
void AppendQueuedLogLines(HWND dialog);
void ClearLog(HWND dialog);
// Puts the log's text on the clipboard as Unicode text.
void CopyLog(HWND dialog);
// Shows or hides the log and fits the footer, the tray button and the window's height.
void SetLogPanelVisible(HWND dialog, bool visible);
