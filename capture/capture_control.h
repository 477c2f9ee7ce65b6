// Turning capture on and off from the main dialog, and following the captured device while
// it runs.
#pragma once

#include <atomic>

// True from a start until a stop, also while capture waits for its device.
extern std::atomic<bool> captureActive;
// UI thread: the number at which the captured device is present, 0 while capture waits for it.
extern int capturedDevice;

#ifdef _WIN32
#include <windows.h>

// The dialog timer that looks for the captured device while capture runs.
constexpr UINT_PTR PresenceTimer = 2;

// Checks driver, device and port (each refusal a message box, nothing changed), then starts
// capture on the selected device. True when capture was started.
bool StartCapture(HWND dialog);
// The automatic restart: capture on the remembered device, wherever the driver numbers it now,
// or waiting for it when it is not present. Never on another device: with nothing remembered
// it records capture as stopped, and the log and the window say why.
bool RestartRememberedCapture(HWND dialog);
// Capture runs, waits for its device, or an automatic restart waits for the driver: what
// Stop ends.
bool CaptureArmed();
// With record, capture_state.ini notes the stop; without, it still says capture was active.
void StopCapture(HWND dialog, bool record);
// The presence timer: asks the capture thread to look at the keyboards; while an automatic
// restart waits for the driver, tries to create its context again.
void CheckCapturedDevice(HWND dialog);
// WM_APP_SCANNER: the capture thread found the captured device at a number, or saw it go (0).
// The log says each departure and each return, in order.
void OnScannerMoved(HWND dialog, WPARAM deviceNumber, LPARAM session);
// The user chose a device: a refused automatic restart no longer needs saying.
void NoteDeviceChosen(HWND dialog);
// Logs that the driver is missing; a message box too unless quiet (a start at logon).
void ReportDriverMissing(HWND dialog, bool quiet);

// Keyboard-interface arrivals and removals reach the dialog as WM_DEVICECHANGE.
void WatchKeyboardArrivals(HWND dialog);
void StopWatchingKeyboards();
void OnDeviceChange(HWND dialog, WPARAM event, LPARAM data);
#endif
