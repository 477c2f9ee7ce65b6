#include "common/dialog_post.h"

#include <atomic>

void* MainDialogHandle = nullptr;

namespace {

std::atomic<DialogPostSink> dialogPostSink{nullptr};

}  // namespace

void SetDialogPostSink(DialogPostSink sink) {
    dialogPostSink = sink;
}

bool PostToMainDialog(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    DialogPostSink sink = dialogPostSink;
    return sink != nullptr && sink(message, wParam, lParam);
}
