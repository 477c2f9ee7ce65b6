#include "support/dialog_messages_internal.h"

#include "shell/app_messages.h"

#include <memory>

bool CollectDialogMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    if (message == WM_APP_LOG) {
        std::unique_ptr<std::wstring> line(reinterpret_cast<std::wstring*>(lParam));
        std::lock_guard<std::mutex> lock(collected.mutex);
        collected.lines.push_back(*line);
        return true;
    }
    if (message == WM_APP_TCP_STATUS) {
        std::lock_guard<std::mutex> lock(collected.mutex);
        collected.statuses.push_back(static_cast<int>(wParam));
        return true;
    }
    return false;
}
