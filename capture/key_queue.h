// Hands translated characters from the capture thread to the UI thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

enum class KeyEventKind : uint8_t {
    Character,   // a byte of the scan
    End,         // the scan so far is finished
    DeviceLeft,  // the scanner went away: its half scan goes too
};

struct KeyEvent {
    KeyEventKind kind;
    uint8_t character = 0;
};

// Events queued without an end after which the UI thread is woken all the same, so that a
// scanner that never sends Enter cannot make the queue grow without bound.
constexpr size_t KeyQueueWakeBatch = 1024;

// Each operation holds the queue's mutex for one append, one exchange or one clear.
// True when the caller should wake the UI thread now: the event ends a scan or tells of a
// device leaving, or the queue holds a whole batch, and no wake-up is pending since the last take.
// One wake-up at a time, so a burst of strokes posts a handful of messages, not one per stroke.
bool KeyQueueAppend(KeyEvent event);
// The wake-up could not be posted: the next end tries again.
void KeyQueueWakeFailed();

// Moves the whole queue out, leaving it empty and without storage; a wake-up may follow.
std::vector<KeyEvent> KeyQueueTakeAll();

void KeyQueueClear();
