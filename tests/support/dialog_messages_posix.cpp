#include "support/dialog_messages.h"
#include "support/dialog_messages_internal.h"

#include "shell/dialog_post.h"

namespace {

int collectorTag;

bool Collect(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    return CollectDialogMessage(message, wParam, lParam);
}

}  // namespace

void StartCollectingDialogMessages() {
    ClearCollectedDialogMessages();
    SetDialogPostSink(Collect);
    MainDialogHandle = &collectorTag;
}

void StopCollectingDialogMessages() {
    MainDialogHandle = nullptr;
    SetDialogPostSink(nullptr);
}

void DeliverDialogMessages() {}
