// The activity log panel: a read-only edit that keeps itself to about 1000 lines.
#pragma once

#include <windows.h>

#include <string>

extern bool LogPanelVisible;

// Appends one posted line and frees it.
void AppendLogLine(HWND dialog, std::wstring* line);
void ClearLog(HWND dialog);
// Puts the log's text on the clipboard as Unicode text.
void CopyLog(HWND dialog);
// Shows or hides the log and fits the footer, the tray button and the window's height.
void SetLogPanelVisible(HWND dialog, bool visible);
