// The thread that takes the scanner's strokes from the driver while capture runs.
//
// Only the scanner is filtered: the driver hands the program the strokes of the number where
// the scanner is and of numbers where no keyboard is (one that appears there may be the
// scanner). Every other keyboard's strokes go straight to the system and never enter the
// program. A keyboard that appears at a free number and is not the scanner is passed on and
// released from the filter as soon as it is seen.
#pragma once

#include "capture/interception_driver.h"
#include "capture/scan_translation.h"

#include <atomic>
#include <bitset>
#include <future>
#include <string>
#include <thread>

// The device capture follows. With a hardware id, it is the keyboard that reports that id, so
// it is followed to whatever number it gets after a re-plug and a keyboard that takes over its
// old number is not captured. Twins (other devices with the same id when capture started) are
// never captured. Without a hardware id the device is known by its number alone.
struct CaptureTarget {
    std::u16string hardwareId;
    int deviceNumber = 0;
    std::bitset<InterceptionMaxKeyboard + 1> twins;
};

extern std::atomic<bool> captureStopFlag;
extern std::thread captureThread;
// Written by the UI thread only while no capture thread exists; read by it.
extern CaptureTarget captureTarget;
// The capture thread's own while it runs.
extern ModifierState modifierState;

// The target for a device with this hardware id, last seen at the number and the instance-th of
// the devices with that id. Of the numbers that report the id now, the device is the one at its
// number, else the instance-th (it was re-plugged and numbered anew); the others are its twins.
CaptureTarget CaptureTargetFor(const std::wstring& hardwareId, int deviceNumber, int instance);

// The number at which the target's device is present now, or 0.
int FindTargetDevice(const CaptureTarget& target);

// Any thread: the keyboards may have changed (arrival says one came), so the capture thread
// looks at them again before its next driver wait and sets the filter anew after an arrival,
// since the driver may start a new keyboard without the filter that was set on its number.
void RequestDeviceLook(bool arrival);

// Looks at the keyboards and sets the filter, says so through filterInPlace, then handles
// strokes until captureStopFlag is set; then clears the filter and reads out what the driver
// still holds: other keyboards' strokes go to the system, scans whose Enter came are queued,
// the rest of the scanner's strokes is dropped (but the releases the system needs).
void CaptureThreadMain(std::promise<void> filterInPlace);

// Empties the key queue, resets the modifiers (Caps Lock as the system has it), takes the
// target, starts the thread and returns once its filter is set (as long as the driver takes
// for the call: a driver that never answers holds Start, as it would hold Stop). False when the
// system refused to create the thread.
bool StartCaptureThread(const CaptureTarget& target, bool capsLock);

// Sets the stop flag and joins the thread if one exists (at most about one driver wait and
// the read-out), then forgets the target. Whole scans read out are in the key queue.
void StopCaptureThread();
