#include "capture/key_queue.h"

#include <mutex>

namespace {

std::mutex keyQueueMutex;
std::vector<KeyEvent> keyQueue;
bool wakePending = false;

}  // namespace

bool KeyQueueAppend(KeyEvent event) {
    std::lock_guard<std::mutex> lock(keyQueueMutex);
    keyQueue.push_back(event);
    if (wakePending ||
        (event.kind == KeyEventKind::Character && keyQueue.size() % KeyQueueWakeBatch != 0)) {
        return false;
    }
    wakePending = true;
    return true;
}

void KeyQueueWakeFailed() {
    std::lock_guard<std::mutex> lock(keyQueueMutex);
    wakePending = false;
}

std::vector<KeyEvent> KeyQueueTakeAll() {
    std::vector<KeyEvent> taken;
    std::lock_guard<std::mutex> lock(keyQueueMutex);
    taken.swap(keyQueue);
    wakePending = false;
    return taken;
}

void KeyQueueClear() {
    std::vector<KeyEvent> discarded;
    std::lock_guard<std::mutex> lock(keyQueueMutex);
    discarded.swap(keyQueue);
    wakePending = false;
}
