// Where a scan ends and which case its letters take, decided on the capture thread key by key:
// an option changed in the middle of a scan applies from the next key on.
#pragma once

#include "capture/key_queue.h"

#include <atomic>
#include <chrono>
#include <optional>

enum class LetterCase { Upper, Lower, AsScanned };

// Enter: Enter, keypad Enter, Ctrl+M or Alt+013 (every CR) ends a scan, so a CR is never
// inside one. Tab: a Tab ends it too. Pause: a pause in typing ends it, and CR, LF and Tab
// are data.
enum class ScanEnd { Enter, Tab, Pause };

constexpr int DefaultPauseMilliseconds = 100;
// Below the gap a scanner leaves between two keys on a slow USB poll; above it a user waits.
constexpr int MinPauseMilliseconds = 20;
constexpr int MaxPauseMilliseconds = 5000;

// Set by the UI thread, read by the capture thread at each key.
extern std::atomic<LetterCase> letterCase;
extern std::atomic<ScanEnd> scanEnd;
extern std::atomic<int> pauseMilliseconds;

struct ScanRules {
    LetterCase letterCase = LetterCase::Upper;
    ScanEnd end = ScanEnd::Enter;
    std::chrono::milliseconds pause{DefaultPauseMilliseconds};
};

ScanRules CurrentScanRules();

using ScanClock = std::chrono::steady_clock;

// The capture thread's view of the scan in progress.
struct ScanEndState {
    bool open = false;       // characters have been queued since the last end
    bool justEnded = false;  // the last key ended a scan: an LF now belongs to that end
    ScanClock::time_point lastStroke;
};

// What a byte of the scanner's makes: a character in the chosen case, the end of the scan, or
// nothing (the LF of a CR LF suffix).
std::optional<KeyEvent> EventForByte(ScanEndState& state, uint8_t byte, const ScanRules& rules);

// Every stroke of the scanner, whether or not it typed: a held modifier is typing too.
void NoteScannerStroke(ScanEndState& state, ScanClock::time_point now);

// How long the capture thread may wait for the driver before the open scan's pause is over,
// at most limit.
std::chrono::milliseconds TimeToPauseEnd(const ScanEndState& state, ScanClock::time_point now,
                                         const ScanRules& rules, std::chrono::milliseconds limit);

// In pause mode: a scan is open and its pause has passed.
bool PauseIsOver(const ScanEndState& state, ScanClock::time_point now, const ScanRules& rules);
