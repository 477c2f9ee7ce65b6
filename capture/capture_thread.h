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
#include "capture/scanner_whereabouts.h"

#include <atomic>
#include <future>
#include <string>
#include <thread>

// The device capture follows. With a hardware id, it is the keyboard that reports that id: it is
// followed to whatever number it gets after a re-plug, and a keyboard that takes over its old
// number is not captured. Every keyboard the driver lists has a hardware id; a target without
// one matches nothing.
struct CaptureTarget {
    std::u16string hardwareId;
    // Where it is known to be in this Windows session, 0 when that is not known (a start from
    // the settings: numbers change at every boot).
    int deviceNumber = 0;
    // Among identical devices present at the start, the instance-th by number is taken when
    // the number does not tell.
    int instance = 1;
    // Numbers of identical devices that an earlier capture of this run knew were not it.
    KeyboardSet twins;
};

extern std::atomic<bool> captureStopFlag;
extern std::thread captureThread;
// Written by the UI thread only while no capture thread exists; read by it.
extern CaptureTarget captureTarget;
// The capture thread's own while it runs.
extern ModifierState modifierState;

CaptureTarget CaptureTargetFor(const std::wstring& hardwareId, int deviceNumber, int instance);

// The number where the scanner is, 0 while it is away; written by the capture thread. Every
// change is also posted to the dialog as WM_APP_SCANNER, in order, so that a device that left
// and came back between two looks of the dialog shows as both.
extern std::atomic<int> scannerNumber;
// Counts capture starts; each post carries the count of its start, so that a post of an
// earlier capture is told from the current one's.
extern std::atomic<unsigned> captureSession;
// A post that the system refused: the dialog takes scannerNumber as it is instead.
extern std::atomic<bool> scannerPostLost;
// UI thread: where the last start's first look found the scanner (0: not present), and the
// twins the last capture knew when it stopped (set by the thread before it ends).
extern int scannerAtStart;
extern KeyboardSet twinsAtStop;

// Why the keyboards are looked at again. A removal notice means that a number which reports no
// id now is empty; otherwise one empty answer at the scanner's number may be a failed query.
enum class LookCause { Tick, Arrival, Removal };

// Any thread: the keyboards may have changed, so the capture thread looks at them again before
// its next driver wait, and sets the filter anew after an arrival, since the driver may start a
// new keyboard without the filter that was set on its number.
void RequestDeviceLook(LookCause cause);

// Looks at the keyboards and sets the filter, says so through filterInPlace (with the number
// where it found the scanner), then handles
// strokes until captureStopFlag is set; then clears the filter and reads out what the driver
// still holds: other keyboards' strokes go to the system, scans whose Enter came are queued,
// the rest of the scanner's strokes is dropped (but the releases the system needs).
void CaptureThreadMain(std::promise<int> filterInPlace);

// Empties the key queue, resets the modifiers (Caps Lock as the system has it), takes the
// target, starts the thread and returns once its filter is set (as long as the driver takes
// for the call: a driver that never answers holds Start, as it would hold Stop). False when the
// system refused to create the thread.
bool StartCaptureThread(const CaptureTarget& target, bool capsLock);

// Sets the stop flag and joins the thread if one exists (at most about one driver wait and
// the read-out), then forgets the target. Whole scans read out are in the key queue.
void StopCaptureThread();
