#include "support/dialog_messages.h"
#include "support/dialog_messages_internal.h"

#include "shell/dialog_post.h"

namespace {

int collectorTag;

bool Collect(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    return CollectDialogMessage(message, wParam, lParam);
}

bool Refuse(unsigned, std::uintptr_t, std::intptr_t) {
    return false;
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

void FailDialogPosts(bool fail) {
    SetDialogPostSink(fail ? Refuse : Collect);
}

void DeliverDialogMessages() {}
