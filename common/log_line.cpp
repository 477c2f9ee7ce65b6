#include "common/log_line.h"

#include "common/app_messages.h"
#include "common/dialog_post.h"

#include <cstddef>
#include <cstdio>
#include <iterator>
#include <mutex>

namespace {

// Held for one append or one take; no other lock is taken inside it.
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

std::vector<std::wstring> TakeLogLines(size_t characters) {
    std::vector<std::wstring> taken;
    bool more = false;
    {
        std::lock_guard<std::mutex> lock(logQueueMutex);
        size_t count = 0;
        for (size_t total = 0; count < logQueue.size(); ++count) {
            total += logQueue[count].size();
            if (count > 0 && total > characters) {
                break;
            }
        }
        auto end = logQueue.begin() + static_cast<std::ptrdiff_t>(count);
        taken.assign(std::make_move_iterator(logQueue.begin()), std::make_move_iterator(end));
        logQueue.erase(logQueue.begin(), end);
        more = !logQueue.empty();
        wakePending = more;
    }
    if (more && !PostToMainDialog(WM_APP_LOG, 0, 0)) {
        std::lock_guard<std::mutex> lock(logQueueMutex);
        wakePending = false;
    }
    return taken;
}
