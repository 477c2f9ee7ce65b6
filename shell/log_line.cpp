#include "shell/log_line.h"

#include "shell/app_messages.h"
#include "shell/dialog_post.h"

#include <cstdio>
#include <memory>

std::wstring FormatLogLine(const LocalClock& time, const std::wstring& text) {
    wchar_t prefix[32];
    std::swprintf(prefix, 32, L"[%02d:%02d:%02d] ", time.hour, time.minute, time.second);
    return prefix + text;
}

void LogLine(const std::wstring& text) {
    if (MainDialogHandle == nullptr) {
        return;
    }
    auto line = std::make_unique<std::wstring>(FormatLogLine(CurrentLocalTime(), text));
    if (PostToMainDialog(WM_APP_LOG, 0, reinterpret_cast<std::intptr_t>(line.get()))) {
        line.release();  // the dialog owns it now
    }
}
