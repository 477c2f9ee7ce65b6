#include "capture/capture_thread.h"

#include "capture/interception_driver.h"
#include "capture/key_queue.h"

#include <bitset>
#include <cstring>

std::atomic<bool> captureStopFlag{false};
std::thread captureThread;
int capturedDevice = 0;
ModifierState modifierState;

namespace {

constexpr unsigned long WaitMilliseconds = 100;

// A key by its code and E0 prefix (right Ctrl is not left Ctrl).
size_t KeyIndex(const InterceptionKeyStroke& key) {
    return (key.code & 0xFFu) | ((key.state & InterceptionKeyE0) != 0 ? 0x100u : 0u);
}

// The captured keyboard's strokes are withheld, except the release of a key the system saw go
// down before capture started: without it the system would keep the key held and repeat it.
// Only each key's first down period after the start is in doubt; later ones are withheld.
struct ReleaseTracker {
    std::bitset<512> seen;         // a stroke of the key arrived since capture started
    std::bitset<512> firstPeriod;  // the key is in the first down period this thread saw
    std::bitset<512> repeating;    // ... and it repeated: it was held down, maybe from before
};

bool ReleaseBelongsToTheSystem(ReleaseTracker& tracker, size_t key, bool released) {
    if (!released) {
        if (!tracker.seen.test(key)) {
            tracker.seen.set(key);
            tracker.firstPeriod.set(key);
        } else if (tracker.firstPeriod.test(key)) {
            tracker.repeating.set(key);
        }
        return false;
    }
    // A release with no press before it, or one ending a key held across the start and
    // auto-repeating since: the system saw that key go down.
    bool systemHoldsIt =
        !tracker.seen.test(key) || (tracker.firstPeriod.test(key) && tracker.repeating.test(key));
    tracker.seen.set(key);
    tracker.firstPeriod.reset(key);
    tracker.repeating.reset(key);
    return systemHoldsIt;
}

}  // namespace

void CaptureThreadMain() {
    InterceptionContext context = interceptionContext;
    interception.setFilter(context, interception.isKeyboard, InterceptionFilterAll);
    InterceptionStrokeBuffer stroke;
    ReleaseTracker releases;
    while (!captureStopFlag.load()) {
        InterceptionDevice device = interception.waitWithTimeout(context, WaitMilliseconds);
        if (device == 0) {
            continue;
        }
        if (interception.receive(context, device, &stroke, 1) != 1) {
            continue;
        }
        if (device != capturedDevice) {
            // Every other keyboard goes straight back to the system, from the same buffer.
            interception.send(context, device, &stroke, 1);
            continue;
        }
        InterceptionKeyStroke key;
        std::memcpy(&key, stroke.bytes, sizeof key);
        bool released = (key.state & InterceptionKeyUp) != 0;
        if (ReleaseBelongsToTheSystem(releases, KeyIndex(key), released)) {
            interception.send(context, device, &stroke, 1);
        }
        auto character = TranslateStroke(key.code, released, modifierState);
        if (character) {
            KeyQueueAppend(KeyEvent{*character, *character == 0x0D});
        }
    }
    interception.setFilter(context, interception.isKeyboard, InterceptionFilterNone);
}

void StopCaptureThread() {
    captureStopFlag = true;
    if (captureThread.joinable()) {
        captureThread.join();
    }
    capturedDevice = 0;
}
