#include "capture/capture_thread.h"

#include "capture/interception_driver.h"
#include "capture/key_queue.h"

#include <cstring>

std::atomic<bool> captureStopFlag{false};
std::thread captureThread;
int capturedDevice = 0;
ModifierState modifierState;

namespace {

constexpr unsigned long WaitMilliseconds = 100;

}  // namespace

void CaptureThreadMain() {
    InterceptionContext context = interceptionContext;
    interception.setFilter(context, interception.isKeyboard, InterceptionFilterAll);
    InterceptionStrokeBuffer stroke;
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
        auto character = TranslateStroke(key.code, (key.state & InterceptionKeyUp) != 0,
                                         modifierState);
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
