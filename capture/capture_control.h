// Turning capture on and off from the main dialog.
#pragma once

#include <atomic>

extern std::atomic<bool> captureActive;

#ifdef _WIN32
#include <windows.h>

// Checks driver, device and port (each refusal a message box, nothing changed), then starts
// the capture thread on the selected device. True when capture was started.
bool StartCapture(HWND dialog);
// With record, capture_state.ini notes the stop; without, it still says capture was active.
void StopCapture(HWND dialog, bool record);
#endif
