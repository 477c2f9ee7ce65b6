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
            if (digits && IsKeyboardNumber(device)) {
                SimPlug(context, device, SimWiden(item.substr(equals + 1)));
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
    context.devices[device].present = false;
    context.devices[device].hardwareId.clear();
    context.devices[device].pending.clear();
    return true;
}

bool SimPlug(SimContext& context, int device, const std::u16string& hardwareId) {
    if (!IsKeyboardNumber(device) || hardwareId.empty()) {
        return false;
    }
    std::lock_guard<std::mutex> lock(context.mutex);
    context.devices[device].present = true;
    context.devices[device].hardwareId = hardwareId;
    return true;
}

bool SimMove(SimContext& context, int from, int to) {
    if (!IsKeyboardNumber(from) || !IsKeyboardNumber(to) || from == to) {
        return false;
    }
    std::lock_guard<std::mutex> lock(context.mutex);
    SimDevice& source = context.devices[from];
    SimDevice& target = context.devices[to];
    if (!source.present || target.present) {
        return false;
    }
    target.present = true;
    target.hardwareId = source.hardwareId;
    source.present = false;
    source.hardwareId.clear();
    source.pending.clear();
    return true;
}

int SimFilterOf(SimContext& context, int device) {
    std::lock_guard<std::mutex> lock(context.mutex);
    return device >= 1 && device <= SimDeviceCount ? context.devices[device].filter : 0;
}

void SimSetFilter(SimContext& context, InterceptionPredicate predicate, InterceptionFilter filter) {
    std::lock_guard<std::mutex> lock(context.mutex);
    for (int device = 1; device <= SimDeviceCount; ++device) {
        if (predicate != nullptr && predicate(device) != 0) {
            context.devices[device].filter = filter;
        }
    }
}

int SimWait(SimContext& context, unsigned long milliseconds) {
    // The device whose oldest held stroke arrived first, so that strokes of several keyboards
    // come out in the order they were typed.
    auto oldestPending = [&context] {
        int best = 0;
        for (int device = 1; device <= SimDeviceCount; ++device) {
            const auto& pending = context.devices[device].pending;
            if (!pending.empty() &&
                (best == 0 ||
                 pending.front().first < context.devices[best].pending.front().first)) {
                best = device;
            }
        }
        return best;
    };
    std::unique_lock<std::mutex> lock(context.mutex);
    int device = 0;
    context.strokeArrived.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                   [&] { return (device = oldestPending()) != 0; });
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
        if (!context.devices[device].present) {
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
