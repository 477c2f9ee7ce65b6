#include "support/dialog_messages.h"
#include "support/dialog_messages_internal.h"

#include "common/dialog_post.h"

#include <windows.h>

namespace {

HWND collector = nullptr;

LRESULT CALLBACK CollectorProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (CollectDialogMessage(message, wParam, lParam)) {
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

void StartCollectingDialogMessages() {
    static bool registered = false;
    if (!registered) {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = CollectorProcedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"WendaluxTestCollector";
        RegisterClassW(&windowClass);
        registered = true;
    }
    collector = CreateWindowExW(0, L"WendaluxTestCollector", L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
    MainDialogHandle = collector;
    ClearCollectedDialogMessages();
}

void StopCollectingDialogMessages() {
    DeliverDialogMessages();
    MainDialogHandle = nullptr;
    if (collector != nullptr) {
        DestroyWindow(collector);
        collector = nullptr;
    }
}

void FailDialogPosts(bool fail) {
    // No such window: PostMessageW fails.
    MainDialogHandle = fail ? reinterpret_cast<void*>(0x7654) : collector;
}

void DeliverDialogMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&message);
    }
}
