// Hands translated characters from the capture thread to the UI thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct KeyEvent {
    uint8_t character;
    bool isEnter;             // true exactly when character is 0x0D
    bool deviceLeft = false;  // no character: the scanner went away, its half scan goes too
};

// Events queued without an Enter after which the UI thread is woken all the same, so that a
// scanner that never sends Enter cannot make the queue grow without bound.
constexpr size_t KeyQueueWakeBatch = 1024;

// Each operation holds the queue's mutex for one append, one exchange or one clear.
// True when the caller should wake the UI thread now: the event is an Enter or a device
// leaving, or the queue
// holds a whole batch, and no wake-up is pending since the last take. One wake-up at a time,
// so a burst of strokes posts a handful of messages, not one per stroke.
bool KeyQueueAppend(KeyEvent event);
// The wake-up could not be posted: the next Enter tries again.
void KeyQueueWakeFailed();

// Moves the whole queue out, leaving it empty and without storage; a wake-up may follow.
std::vector<KeyEvent> KeyQueueTakeAll();

void KeyQueueClear();
