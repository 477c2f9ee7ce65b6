// The thread that diverts every keyboard through the program while capture runs.
#pragma once

#include "capture/scan_translation.h"

#include <atomic>
#include <thread>

extern std::atomic<bool> captureStopFlag;
extern std::thread captureThread;
// Written by the UI thread only while no capture thread exists.
extern int capturedDevice;
extern ModifierState modifierState;

// Sets the all-keys filter, passes every other device's strokes back unchanged, queues the
// captured device's characters, and clears the filter once captureStopFlag is set.
void CaptureThreadMain();

// Sets the stop flag and joins the thread if one exists (at most about one 100 ms driver
// wait), then forgets the captured device.
void StopCaptureThread();
