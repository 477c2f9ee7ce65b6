#include "common/dialog_post.h"

#include <windows.h>

void* MainDialogHandle = nullptr;

bool PostToMainDialog(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    return PostMessageW(static_cast<HWND>(MainDialogHandle), message, wParam, lParam) != FALSE;
}
