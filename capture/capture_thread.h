// The thread that diverts every keyboard through the program while capture runs.
#pragma once

#include "capture/interception_driver.h"
#include "capture/scan_translation.h"

#include <atomic>
#include <bitset>
#include <future>
#include <string>
#include <thread>

// The device capture follows. With a hardware id, every stroke is checked against the id the
// driver reports for its device now, so the device is followed to whatever number it gets
// after a re-plug, and a keyboard that takes over its old number is not captured. Twins (other
// devices with the same id when capture started) are never captured. Without a hardware id the
// device is known by its number alone.
struct CaptureTarget {
    std::u16string hardwareId;
    int deviceNumber = 0;
    std::bitset<InterceptionMaxKeyboard + 1> twins;
};

extern std::atomic<bool> captureStopFlag;
extern std::thread captureThread;
// Written by the UI thread only while no capture thread exists; read by it.
extern CaptureTarget captureTarget;
extern ModifierState modifierState;

// The target for a device with this hardware id, last seen at the number and the instance-th of
// the devices with that id. Of the numbers that report the id now, the device is the one at its
// number, else the instance-th (it was re-plugged and numbered anew); the others are its twins.
CaptureTarget CaptureTargetFor(const std::wstring& hardwareId, int deviceNumber, int instance);

// The number at which the target's device is present now, or 0.
int FindTargetDevice(const CaptureTarget& target);

// Sets the all-keys filter and says so through filterInPlace, passes every other device's
// strokes back unchanged, queues the captured device's characters, and clears the filter once
// captureStopFlag is set.
void CaptureThreadMain(std::promise<void> filterInPlace);

// Empties the key queue, resets the modifiers (Caps Lock as the system has it), takes the
// target, starts the thread and returns once its filter is set (as long as the driver takes
// for the call: a driver that never answers holds Start, as it would hold Stop). False when the
// system refused to create the thread.
bool StartCaptureThread(const CaptureTarget& target, bool capsLock);

// Sets the stop flag and joins the thread if one exists (at most about one 100 ms driver
// wait), then forgets the target.
void StopCaptureThread();
