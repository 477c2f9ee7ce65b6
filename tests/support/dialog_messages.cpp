#include "support/dialog_messages.h"

#include "common/log_line.h"
#include "support/dialog_messages_internal.h"
#include "support/test_environment.h"

#include <algorithm>

CollectedMessages collected;

void ClearCollectedDialogMessages() {
    DeliverDialogMessages();
    TakeLogLines();
    std::lock_guard<std::mutex> lock(collected.mutex);
    collected.lines.clear();
    collected.statuses.clear();
    collected.scannerMoves.clear();
    collected.keyWakes = 0;
    collected.logWakes = 0;
}

size_t KeyQueueWakeUps() {
    DeliverDialogMessages();
    std::lock_guard<std::mutex> lock(collected.mutex);
    return collected.keyWakes;
}

size_t LogWakeUps() {
    DeliverDialogMessages();
    std::lock_guard<std::mutex> lock(collected.mutex);
    return collected.logWakes;
}

std::vector<std::wstring> PostedLogLines() {
    DeliverDialogMessages();
    std::lock_guard<std::mutex> lock(collected.mutex);
    return collected.lines;
}

std::vector<std::wstring> LoggedTexts() {
    std::vector<std::wstring> texts;
    for (const auto& line : PostedLogLines()) {
        texts.push_back(line.size() >= 11 ? line.substr(11) : line);
    }
    return texts;
}

std::vector<int> ReportedStatuses() {
    DeliverDialogMessages();
    std::lock_guard<std::mutex> lock(collected.mutex);
    return collected.statuses;
}

std::vector<int> ScannerMoves() {
    DeliverDialogMessages();
    std::lock_guard<std::mutex> lock(collected.mutex);
    return collected.scannerMoves;
}

bool WaitForLoggedText(const std::wstring& text, size_t times, std::chrono::milliseconds limit) {
    return WaitUntil(
        [&] {
            auto texts = LoggedTexts();
            return static_cast<size_t>(std::count(texts.begin(), texts.end(), text)) >= times;
        },
        limit);
}

bool WaitForStatus(int status, std::chrono::milliseconds limit) {
    return WaitUntil(
        [&] {
            auto statuses = ReportedStatuses();
            return !statuses.empty() && statuses.back() == status;
        },
        limit);
}
