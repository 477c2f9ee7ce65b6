#include "shell/log_line.h"

#include "shell/app_messages.h"
#include "shell/dialog_post.h"

#include <cstdio>
#include <mutex>

namespace {

// Held for one append or one take-all; no other lock is taken inside it.
std::mutex logQueueMutex;
std::vector<std::wstring> logQueue;
bool wakePending = false;

}  // namespace

std::wstring FormatLogLine(const LocalClock& time, const std::wstring& text) {
    wchar_t prefix[32];
    std::swprintf(prefix, 32, L"[%02d:%02d:%02d] ", time.hour, time.minute, time.second);
    return prefix + text;
}

void LogLine(const std::wstring& text) {
    if (MainDialogHandle == nullptr) {
        return;
    }
    std::wstring line = FormatLogLine(CurrentLocalTime(), text);
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(logQueueMutex);
        logQueue.push_back(std::move(line));
        wake = !wakePending;
        wakePending = true;
    }
    // A failed post (the dialog's queue full) loses nothing: the line waits, and the next
    // line tries the wake-up again.
    if (wake && !PostToMainDialog(WM_APP_LOG, 0, 0)) {
        std::lock_guard<std::mutex> lock(logQueueMutex);
        wakePending = false;
    }
}

std::vector<std::wstring> TakeLogLines() {
    std::vector<std::wstring> taken;
    std::lock_guard<std::mutex> lock(logQueueMutex);
    taken.swap(logQueue);
    wakePending = false;
    return taken;
}
