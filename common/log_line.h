// The one way for any part of the program, on any thread, to add a line to the activity log.
#pragma once

#include <string>
#include <vector>

struct LocalClock {
    int hour;
    int minute;
    int second;
};

LocalClock CurrentLocalTime();

// "[hh:mm:ss] " followed by the text.
std::wstring FormatLogLine(const LocalClock& time, const std::wstring& text);

// Stamps the line with the local time and queues it for the main dialog, which a posted
// WM_APP_LOG wakes (one wake-up pending at a time). Before the dialog exists the line is
// dropped. The message carries nothing, so a stray or foreign WM_APP_LOG is harmless.
void LogLine(const std::wstring& text);

// The main dialog's side: the oldest queued lines, as many as fit in the given number of
// characters but at least one. When more wait, the dialog is woken again for them, so that a
// burst is shown a part per turn of its message loop and sent messages and key wake-ups are
// served between parts. Should that wake-up fail, the next line or the dialog's timer takes
// the rest.
std::vector<std::wstring> TakeLogLines(size_t characters = static_cast<size_t>(-1));
