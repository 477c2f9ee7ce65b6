#include "support/dialog_messages_internal.h"

#include "common/app_messages.h"
#include "common/log_line.h"

bool CollectDialogMessage(unsigned message, std::uintptr_t wParam, std::intptr_t) {
    if (message == WM_APP_LOG) {
        // Taken under the collector's lock, so that two deliveries never interleave what they
        // took.
        std::lock_guard<std::mutex> lock(collected.mutex);
        ++collected.logWakes;
        std::vector<std::wstring> lines = TakeLogLines();
        collected.lines.insert(collected.lines.end(), lines.begin(), lines.end());
        return true;
    }
    if (message == WM_APP_KEYS) {
        std::lock_guard<std::mutex> lock(collected.mutex);
        ++collected.keyWakes;
        return true;
    }
    if (message == WM_APP_TCP_STATUS) {
        std::lock_guard<std::mutex> lock(collected.mutex);
        collected.statuses.push_back(static_cast<int>(wParam));
        return true;
    }
    if (message == WM_APP_SCANNER) {
        std::lock_guard<std::mutex> lock(collected.mutex);
        collected.scannerMoves.push_back(static_cast<int>(wParam));
        return true;
    }
    return false;
}
