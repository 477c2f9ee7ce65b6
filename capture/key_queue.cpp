#include "capture/key_queue.h"

#include <mutex>

namespace {

std::mutex keyQueueMutex;
std::vector<KeyEvent> keyQueue;

}  // namespace

void KeyQueueAppend(KeyEvent event) {
    std::lock_guard<std::mutex> lock(keyQueueMutex);
    keyQueue.push_back(event);
}

std::vector<KeyEvent> KeyQueueTakeAll() {
    std::vector<KeyEvent> taken;
    std::lock_guard<std::mutex> lock(keyQueueMutex);
    taken.swap(keyQueue);
    return taken;
}

void KeyQueueClear() {
    std::vector<KeyEvent> discarded;
    std::lock_guard<std::mutex> lock(keyQueueMutex);
    discarded.swap(keyQueue);
}
