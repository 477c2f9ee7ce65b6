#include "support/dialog_messages.h"
#include "support/dialog_messages_internal.h"

#include "common/dialog_post.h"

#include <mutex>
#include <vector>

namespace {

int collectorTag;

struct Posted {
    unsigned message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
};

// The collector's message queue; one delivery at a time keeps the messages in order.
std::mutex postedMutex;
std::vector<Posted> posted;
std::mutex deliveryMutex;

bool Collect(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    std::lock_guard<std::mutex> lock(postedMutex);
    posted.push_back({message, wParam, lParam});
    return true;
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

void DeliverDialogMessages() {
    std::lock_guard<std::mutex> delivery(deliveryMutex);
    std::vector<Posted> taken;
    {
        std::lock_guard<std::mutex> lock(postedMutex);
        taken.swap(posted);
    }
    for (const Posted& message : taken) {
        CollectDialogMessage(message.message, message.wParam, message.lParam);
    }
}
