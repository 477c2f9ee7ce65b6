// The dialog's two server controls: the port field and "Reset".
#pragma once

#include <windows.h>

// EN_CHANGE of the port field, key stroke by key stroke: a new non-zero port is stored and
// saved, and restarts the server while capture runs.
void OnPortFieldChanged(HWND dialog);
// Drops the client while capture runs; the listening socket stays open.
void OnResetClicked();
