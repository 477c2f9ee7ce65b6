#pragma once

#include <mutex>
#include <string>
#include <vector>

struct CollectedMessages {
    std::mutex mutex;
    std::vector<std::wstring> lines;
    std::vector<int> statuses;
    std::vector<int> scannerMoves;
    size_t keyWakes = 0;
    size_t logWakes = 0;
};

extern CollectedMessages collected;

// Takes one posted message; true when it was one of the dialog's.
bool CollectDialogMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);
