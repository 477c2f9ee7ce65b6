#include "simdriver/sim_driver.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace {

bool IsKeyboardNumber(int device) {
    return device >= 1 && device <= InterceptionMaxKeyboard;
}

// With the context locked: the stroke reaches the system, which then holds or lets go the key.
void DeliverToSystem(SimContext& context, const SimStroke& stroke) {
    context.system.push_back(stroke);
    auto& held = context.devices[stroke.device].heldBySystem;
    uint16_t key = static_cast<uint16_t>((stroke.code & 0xFF) |
                                         ((stroke.state & InterceptionKeyE0) != 0 ? 0x100 : 0));
    auto found = std::find(held.begin(), held.end(), key);
    if ((stroke.state & InterceptionKeyUp) != 0) {
        if (found != held.end()) {
            held.erase(found);
        }
    } else if (found == held.end()) {
        held.push_back(key);
    }
}

int64_t Now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

constexpr uint16_t EnterCode = 0x1C;

// With the context locked: why the number cannot take an arriving keyboard, or empty.
std::string AttachRefusal(const SimContext& context, int device) {
    const SimDevice& target = context.devices[device];
    if (target.present) {
        return "number " + std::to_string(device) + " is taken";
    }
    if (target.used && !context.reuseNumbers) {
        return "number " + std::to_string(device) + " was used since the last reboot";
    }
    return "";
}

// With the context locked. An arrival, unlike a keyboard present from the start, is announced
// to the program and timed until its filter is set.
void Attach(SimContext& context, int device, const std::u16string& hardwareId, bool arrival) {
    SimDevice& target = context.devices[device];
    target.present = true;
    target.used = true;
    target.hardwareId = hardwareId;
    if (arrival) {
        target.attachedAt = Now();
        target.arrivalLatency = -1;
        if (context.arrivalUnfiltered) {
            target.filter = 0;
        }
        context.unannounced.push_back({true, device, hardwareId});
    }
}

// With the context locked: the keyboard is gone, and whatever it typed that the program has
// not taken with it.
void Detach(SimContext& context, int device) {
    SimDevice& source = context.devices[device];
    if (source.present) {
        context.unannounced.push_back({false, device, source.hardwareId});
    }
    source.present = false;
    source.anonymous = false;
    source.attachedAt = -1;
    source.hardwareId.clear();
    source.pending.clear();
}

}  // namespace

std::u16string SimWiden(const std::string& utf8) {
    std::u16string wide;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char lead = static_cast<unsigned char>(utf8[i]);
        size_t extra = lead < 0x80 ? 0 : (lead >> 5) == 6 ? 1 : (lead >> 4) == 14 ? 2 : 3;
        bool valid = extra < 3 && i + extra < utf8.size();
        char32_t code = extra == 0 ? lead : lead & (extra == 1 ? 0x1F : 0x0F);
        for (size_t k = 1; valid && k <= extra; ++k) {
            unsigned char next = static_cast<unsigned char>(utf8[i + k]);
            valid = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        wide.push_back(valid ? static_cast<char16_t>(code) : u'\uFFFD');
        i += valid ? extra + 1 : 1;
    }
    return wide;
}

void SimConfigureDevices(SimContext& context, const std::string& deviceList) {
    size_t start = 0;
    while (start <= deviceList.size()) {
        size_t end = deviceList.find(';', start);
        if (end == std::string::npos) {
            end = deviceList.size();
        }
        std::string item = deviceList.substr(start, end - start);
        size_t equals = item.find('=');
        if (equals != std::string::npos && equals > 0) {
            int device = 0;
            bool digits = true;
            for (size_t k = 0; k < equals; ++k) {
                digits = digits && item[k] >= '0' && item[k] <= '9' && device < 100;
                device = device * 10 + (item[k] - '0');
            }
            std::u16string hardwareId = SimWiden(item.substr(equals + 1));
            if (digits && IsKeyboardNumber(device) && !hardwareId.empty()) {
                std::lock_guard<std::mutex> lock(context.mutex);
                if (!context.devices[device].used) {
                    Attach(context, device, hardwareId, false);
                }
            }
        }
        start = end + 1;
    }
}

bool SimInject(SimContext& context, int device, uint16_t code, uint16_t state) {
    if (!IsKeyboardNumber(device)) {
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(context.mutex);
        SimDevice& target = context.devices[device];
        if (!target.present) {
            return true;
        }
        SimStroke stroke{device, code, state};
        ++context.counters.injected;
        if (target.filter == 0) {
            DeliverToSystem(context, stroke);
            return true;
        }
        target.pending.emplace_back(context.nextArrival++, stroke);
    }
    context.strokeArrived.notify_all();
    return true;
}

std::vector<SimStroke> SimTakeSystemStrokes(SimContext& context) {
    std::vector<SimStroke> taken;
    std::lock_guard<std::mutex> lock(context.mutex);
    taken.swap(context.system);
    return taken;
}

std::vector<std::pair<int, uint16_t>> SimHeldKeys(SimContext& context) {
    std::vector<std::pair<int, uint16_t>> keys;
    std::lock_guard<std::mutex> lock(context.mutex);
    for (int device = 1; device <= SimDeviceCount; ++device) {
        for (uint16_t key : context.devices[device].heldBySystem) {
            keys.emplace_back(device, key);
        }
    }
    return keys;
}

bool SimUnplug(SimContext& context, int device) {
    if (!IsKeyboardNumber(device)) {
        return false;
    }
    std::lock_guard<std::mutex> lock(context.mutex);
    Detach(context, device);
    return true;
}

std::string SimPlug(SimContext& context, int device, const std::u16string& hardwareId) {
    if (!IsKeyboardNumber(device)) {
        return "bad device";
    }
    if (hardwareId.empty()) {
        return "missing hardware id";
    }
    std::lock_guard<std::mutex> lock(context.mutex);
    std::string refusal = AttachRefusal(context, device);
    if (refusal.empty()) {
        Attach(context, device, hardwareId, true);
    }
    return refusal;
}

std::string SimMove(SimContext& context, int from, int to) {
    if (!IsKeyboardNumber(from) || !IsKeyboardNumber(to)) {
        return "bad device";
    }
    std::lock_guard<std::mutex> lock(context.mutex);
    if (!context.devices[from].present) {
        return "keyboard " + std::to_string(from) + " is not present";
    }
    std::string refusal = AttachRefusal(context, to);
    if (refusal.empty()) {
        std::u16string hardwareId = context.devices[from].hardwareId;
        Detach(context, from);
        Attach(context, to, hardwareId, true);
    }
    return refusal;
}

void SimReboot(SimContext& context) {
    std::lock_guard<std::mutex> lock(context.mutex);
    for (SimDevice& device : context.devices) {
        device.used = device.present;
    }
}

bool SimSetAnonymous(SimContext& context, int device, bool anonymous) {
    if (!IsKeyboardNumber(device)) {
        return false;
    }
    std::lock_guard<std::mutex> lock(context.mutex);
    context.devices[device].anonymous = anonymous;
    return true;
}

int64_t SimArrivalLatency(SimContext& context, int device) {
    std::lock_guard<std::mutex> lock(context.mutex);
    return IsKeyboardNumber(device) ? context.devices[device].arrivalLatency : -1;
}

std::vector<SimDeviceEvent> SimTakeDeviceEvents(SimContext& context) {
    std::vector<SimDeviceEvent> taken;
    std::lock_guard<std::mutex> lock(context.mutex);
    taken.swap(context.unannounced);
    return taken;
}

int SimFilterOf(SimContext& context, int device) {
    std::lock_guard<std::mutex> lock(context.mutex);
    return device >= 1 && device <= SimDeviceCount ? context.devices[device].filter : 0;
}

void SimSetFilter(SimContext& context, InterceptionPredicate predicate, InterceptionFilter filter) {
    std::lock_guard<std::mutex> lock(context.mutex);
    for (int device = 1; device <= SimDeviceCount; ++device) {
        SimDevice& target = context.devices[device];
        if (predicate != nullptr && predicate(device) != 0) {
            target.filter = filter;
            if (filter != 0 && target.attachedAt >= 0) {
                target.arrivalLatency = Now() - target.attachedAt;
                target.attachedAt = -1;
            }
        }
    }
}

int SimWait(SimContext& context, unsigned long milliseconds) {
    // The lowest number with a stroke pending, as the library scans its device events: a busy
    // low number keeps a higher one waiting.
    auto lowestReady = [&context] {
        for (int device = 1; device <= SimDeviceCount; ++device) {
            if (!context.devices[device].pending.empty()) {
                return device;
            }
        }
        return 0;
    };
    std::unique_lock<std::mutex> lock(context.mutex);
    int device = 0;
    context.strokeArrived.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                   [&] { return (device = lowestReady()) != 0; });
    return device;
}

int SimReceive(SimContext& context, int device, InterceptionStrokeBuffer* strokes,
               unsigned int count) {
    if (device < 1 || device > SimDeviceCount || strokes == nullptr) {
        return 0;
    }
    std::lock_guard<std::mutex> lock(context.mutex);
    auto& pending = context.devices[device].pending;
    unsigned int taken = 0;
    while (taken < count && !pending.empty()) {
        const SimStroke& stroke = pending.front().second;
        // The information field, which the program never reads, carries the stroke's number
        // so that its return through a send can be timed.
        auto number = static_cast<unsigned int>(pending.front().first);
        InterceptionKeyStroke key{stroke.code, stroke.state, number};
        ++context.counters.handedOut;
        if (context.timing.enabled) {
            int64_t now = Now();
            context.timing.handoutTimes[number % SimHandoutSlots] = now;
            if (stroke.code == EnterCode && (stroke.state & InterceptionKeyUp) == 0) {
                context.timing.enterHandouts.push_back(now);
            }
        }
        std::memset(strokes[taken].bytes, 0, sizeof strokes[taken].bytes);
        std::memcpy(strokes[taken].bytes, &key, sizeof key);
        pending.pop_front();
        ++taken;
    }
    return static_cast<int>(taken);
}

int SimSend(SimContext& context, int device, const InterceptionStrokeBuffer* strokes,
            unsigned int count) {
    if (!IsKeyboardNumber(device) || strokes == nullptr) {
        return 0;
    }
    std::lock_guard<std::mutex> lock(context.mutex);
    for (unsigned int k = 0; k < count; ++k) {
        InterceptionKeyStroke key;
        std::memcpy(&key, strokes[k].bytes, sizeof key);
        ++context.counters.sent;
        if (context.timing.enabled) {
            int64_t handedOut = context.timing.handoutTimes[key.information % SimHandoutSlots];
            if (handedOut >= 0) {
                context.timing.passLatencies.push_back(Now() - handedOut);
            }
        }
        DeliverToSystem(context, SimStroke{device, key.code, key.state});
    }
    return static_cast<int>(count);
}

unsigned int SimHardwareId(SimContext& context, int device, void* buffer, unsigned int size) {
    if (device < 1 || device > SimDeviceCount || buffer == nullptr) {
        return 0;
    }
    std::u16string reply;
    {
        std::lock_guard<std::mutex> lock(context.mutex);
        if (!context.devices[device].present || context.devices[device].anonymous) {
            return 0;
        }
        reply = context.devices[device].hardwareId;
    }
    // A list of strings as the real driver gives it: the hardware id, a compatible id, and an
    // empty string to end the list.
    reply.push_back(u'\0');
    reply += u"HID_DEVICE_SYSTEM_KEYBOARD";
    reply.push_back(u'\0');
    reply.push_back(u'\0');
    size_t bytes = reply.size() * sizeof(char16_t);
    if (bytes > size) {
        bytes = size;
    }
    std::memcpy(buffer, reply.data(), bytes);
    return static_cast<unsigned int>(bytes);
}

void SimSetTiming(SimContext& context, bool enabled) {
    std::lock_guard<std::mutex> lock(context.mutex);
    context.timing = SimTiming{};
    context.timing.enabled = enabled;
}

SimTiming SimTakeTimings(SimContext& context) {
    std::lock_guard<std::mutex> lock(context.mutex);
    SimTiming taken;
    taken.enabled = context.timing.enabled;
    taken.enterHandouts.swap(context.timing.enterHandouts);
    taken.passLatencies.swap(context.timing.passLatencies);
    return taken;
}

SimCounters SimCountersOf(SimContext& context) {
    std::lock_guard<std::mutex> lock(context.mutex);
    SimCounters counters = context.counters;
    for (const SimDevice& device : context.devices) {
        counters.pending += device.pending.size();
    }
    return counters;
}
