// The one way for any part of the program, on any thread, to add a line to the activity log.
#pragma once

#include <string>

struct LocalClock {
    int hour;
    int minute;
    int second;
};

LocalClock CurrentLocalTime();

// "[hh:mm:ss] " followed by the text.
std::wstring FormatLogLine(const LocalClock& time, const std::wstring& text);

// Stamps the line with the local time and posts it to the main dialog as WM_APP_LOG. Before
// the dialog exists the line is dropped.
void LogLine(const std::wstring& text);
