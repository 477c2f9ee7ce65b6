// Hands translated characters from the capture thread to the UI thread.
#pragma once

#include <cstdint>
#include <vector>

struct KeyEvent {
    uint8_t character;
    bool isEnter;  // true exactly when character is 0x0D
};

// Each operation holds the queue's mutex for one append, one exchange or one clear.
void KeyQueueAppend(KeyEvent event);

// Moves the whole queue out, leaving it empty and without storage.
std::vector<KeyEvent> KeyQueueTakeAll();

void KeyQueueClear();
