// How any thread reaches the main dialog: by posting to it, never by calling into it.
#pragma once

#include <cstdint>

// The main dialog's window handle; null until the dialog's initialisation sets it, first
// thing, before any worker thread exists. Read-only afterwards.
extern void* MainDialogHandle;

// Posts a message to MainDialogHandle; false when the post failed (the message is then not
// delivered and whatever lParam owns stays with the caller).
bool PostToMainDialog(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);

#ifndef _WIN32
// Native test builds have no window: posts go to this function instead.
using DialogPostSink = bool (*)(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);
void SetDialogPostSink(DialogPostSink sink);
#endif
