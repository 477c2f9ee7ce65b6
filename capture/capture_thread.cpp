#include "capture/capture_thread.h"

#include "capture/interception_driver.h"
#include "capture/key_queue.h"
#include "common/app_messages.h"
#include "common/dialog_post.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <future>
#include <vector>

std::atomic<bool> captureStopFlag{false};
std::thread captureThread;
CaptureTarget captureTarget;
ModifierState modifierState;

namespace {

constexpr unsigned long WaitMilliseconds = 100;
constexpr unsigned int HardwareIdBytes = 1024;

bool IsKeyboardNumber(int device) {
    return device >= 1 && device <= InterceptionMaxKeyboard;
}

// Whether the driver reports exactly this hardware id for the device now. No allocation: this
// runs for every stroke of every keyboard.
bool ReportsHardwareId(InterceptionContext context, int device, const std::u16string& id) {
    uint16_t buffer[HardwareIdBytes / 2] = {};
    unsigned int bytes = interception.getHardwareId(context, device, buffer, HardwareIdBytes);
    if (bytes == 0 || id.size() >= HardwareIdBytes / 2) {
        return false;
    }
    for (size_t k = 0; k < id.size(); ++k) {
        if (buffer[k] != static_cast<uint16_t>(id[k])) {
            return false;
        }
    }
    return buffer[id.size()] == 0;
}

bool IsTargetDevice(InterceptionContext context, const CaptureTarget& target, int device) {
    if (target.hardwareId.empty()) {
        return device == target.deviceNumber;
    }
    return IsKeyboardNumber(device) && !target.twins.test(static_cast<size_t>(device)) &&
           ReportsHardwareId(context, device, target.hardwareId);
}

std::u16string ToUtf16(const std::wstring& text) {
    std::u16string converted;
    for (wchar_t c : text) {
        converted.push_back(static_cast<char16_t>(c));
    }
    return converted;
}

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

CaptureTarget CaptureTargetFor(const std::wstring& hardwareId, int deviceNumber, int instance) {
    CaptureTarget target;
    target.hardwareId = ToUtf16(hardwareId);
    target.deviceNumber = deviceNumber;
    if (target.hardwareId.empty() || interceptionContext == nullptr) {
        return target;
    }
    std::vector<int> same;
    for (int device = 1; device <= InterceptionMaxKeyboard; ++device) {
        if (ReportsHardwareId(interceptionContext, device, target.hardwareId)) {
            same.push_back(device);
        }
    }
    int own = 0;
    if (std::find(same.begin(), same.end(), deviceNumber) != same.end()) {
        own = deviceNumber;
    } else if (instance >= 1 && static_cast<size_t>(instance) <= same.size()) {
        own = same[static_cast<size_t>(instance - 1)];
    }
    for (int device : same) {
        if (device != own) {
            target.twins.set(static_cast<size_t>(device));
        }
    }
    return target;
}

int FindTargetDevice(const CaptureTarget& target) {
    if (interceptionContext == nullptr) {
        return 0;
    }
    if (target.hardwareId.empty()) {
        uint16_t buffer[HardwareIdBytes / 2] = {};
        return interception.getHardwareId(interceptionContext, target.deviceNumber, buffer,
                                          HardwareIdBytes) != 0
                   ? target.deviceNumber
                   : 0;
    }
    // Where it was is checked first, so that a device present twice is found where it was.
    if (IsTargetDevice(interceptionContext, target, target.deviceNumber)) {
        return target.deviceNumber;
    }
    for (int device = 1; device <= InterceptionMaxKeyboard; ++device) {
        if (IsTargetDevice(interceptionContext, target, device)) {
            return device;
        }
    }
    return 0;
}

void CaptureThreadMain(std::promise<void> filterInPlace) {
    InterceptionContext context = interceptionContext;
    const CaptureTarget& target = captureTarget;
    interception.setFilter(context, interception.isKeyboard, InterceptionFilterAll);
    filterInPlace.set_value();
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
        if (!IsTargetDevice(context, target, device)) {
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
        auto character = TranslateStroke(key.code, released, modifierState,
                                         (key.state & InterceptionKeyE0) != 0);
        if (character && KeyQueueAppend(KeyEvent{*character, *character == 0x0D}) &&
            !PostToMainDialog(WM_APP_KEYS, 0, 0)) {
            KeyQueueWakeFailed();
        }
    }
    interception.setFilter(context, interception.isKeyboard, InterceptionFilterNone);
}

bool StartCaptureThread(const CaptureTarget& target, bool capsLock) {
    KeyQueueClear();
    modifierState = ModifierState{};
    modifierState.capsLock = capsLock;
    captureTarget = target;
    captureStopFlag = false;
    std::future<void> confirmed;
    try {
        std::promise<void> filterInPlace;
        confirmed = filterInPlace.get_future();
        captureThread = std::thread(CaptureThreadMain, std::move(filterInPlace));
    } catch (const std::exception&) {
        captureTarget = CaptureTarget{};
        return false;
    }
    // Until the filter is set the scanner still types into the desktop: nothing may say that
    // capture runs before then.
    confirmed.wait();
    return true;
}

void StopCaptureThread() {
    captureStopFlag = true;
    if (captureThread.joinable()) {
        captureThread.join();
    }
    captureTarget = CaptureTarget{};
}
