// The stand-in for the keyboard filter driver: simulated keyboards 1 to 10, a per-device
// filter, strokes that wait for the program, and "the system" that receives the rest.
// Test and demo equipment only; it never ships with the program.
#pragma once

#include "capture/interception_driver.h"
#include "forwarding/socket_layer.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct SimStroke {
    int device;
    uint16_t code;
    uint16_t state;
};

struct SimDevice {
    bool present = false;
    bool used = false;                   // attached since the last reboot: not given again
    bool anonymous = false;              // present, but its hardware id cannot be read yet
    std::vector<uint16_t> heldBySystem;  // keys the system saw pressed and not yet released
    std::u16string hardwareId;
    InterceptionFilter filter = 0;
    std::deque<std::pair<uint64_t, SimStroke>> pending;  // arrival number, stroke
    int64_t attachedAt = -1;      // steady clock (ns) of an attach not yet followed by a filter
    int64_t arrivalLatency = -1;  // the last attach to the filter set after it, ns
};

// A keyboard that came or went, for the device notification Windows sends the program.
struct SimDeviceEvent {
    bool arrival;
    int device;
    std::u16string hardwareId;
};

constexpr int SimDeviceCount = 20;
constexpr size_t SimHandoutSlots = 65536;

// Timestamps for benchmarks, on the steady clock in nanoseconds.
struct SimTiming {
    bool enabled = false;
    std::vector<int64_t> enterHandouts;  // each Enter press handed to the program
    std::vector<int64_t> passLatencies;  // hand-out to the program's send, per stroke
    std::vector<int64_t> handoutTimes = std::vector<int64_t>(SimHandoutSlots, -1);
};

struct SimCounters {
    uint64_t injected = 0;   // strokes typed on present keyboards
    uint64_t handedOut = 0;  // taken by the program
    uint64_t sent = 0;       // passed back to the system by the program
    uint64_t pending = 0;    // waiting for the program now
};                           // 1 to 10 keyboards, 11 to 20 mice (never simulated)

struct SimContext {
    std::mutex mutex;
    std::condition_variable strokeArrived;
    SimDevice devices[SimDeviceCount + 1];
    std::vector<SimStroke> system;  // strokes that reached the system, in order
    uint64_t nextArrival = 0;
    SimTiming timing;
    SimCounters counters;
    // Any absent number may be attached again, unlike the driver; for tests that re-plug more
    // often than the driver has numbers.
    bool reuseNumbers = false;
    // An attached keyboard starts with filter 0 on its number instead of the one set before.
    bool arrivalUnfiltered = false;
    std::vector<SimDeviceEvent> unannounced;

    SocketHandle controlListener = InvalidSocket;
    SocketHandle controlWaker = InvalidSocket;
    std::thread controlThread;
};

// Parses "N=hardware-id;N=hardware-id" (N from 1 to 10), keyboards present from the start:
// their numbers are used, but they are no arrival. Malformed items are skipped.
void SimConfigureDevices(SimContext& context, const std::string& deviceList);

// A stroke typed on a keyboard: straight to the system while its filter is 0, otherwise held
// for the program. False when the device number is not a keyboard; strokes of an unplugged
// keyboard are dropped.
bool SimInject(SimContext& context, int device, uint16_t code, uint16_t state);
std::vector<SimStroke> SimTakeSystemStrokes(SimContext& context);
// Keys the system holds pressed: (device, code with 0x100 for an E0 key), in device order.
std::vector<std::pair<int, uint16_t>> SimHeldKeys(SimContext& context);
bool SimUnplug(SimContext& context, int device);
// Attaches a keyboard at a number; empty when it did, otherwise why not: the number is not a
// keyboard's, the id is missing, the number is taken or was used since the last reboot.
std::string SimPlug(SimContext& context, int device, const std::u16string& hardwareId);
// Unplugs a keyboard and plugs it back at another number in one step, as a re-plug that the
// driver numbers anew: strokes typed before the move are dropped, strokes after it come from
// the new number. Empty when it moved, otherwise why not, as for a plug or the first absent.
std::string SimMove(SimContext& context, int from, int to);
// Every number not present now may be attached again, as after a restart of Windows.
void SimReboot(SimContext& context);
// While on, the keyboard's hardware id reads as none; kept through a plug at that number.
bool SimSetAnonymous(SimContext& context, int device, bool anonymous);
int SimFilterOf(SimContext& context, int device);
// Nanoseconds from the last attach at the number to the non-zero filter set after it; -1 when
// there is none yet.
int64_t SimArrivalLatency(SimContext& context, int device);
// The arrivals and removals since the last call, in order.
std::vector<SimDeviceEvent> SimTakeDeviceEvents(SimContext& context);

// The library's calls, on a context.
void SimSetFilter(SimContext& context, InterceptionPredicate predicate, InterceptionFilter filter);
int SimWait(SimContext& context, unsigned long milliseconds);
int SimReceive(SimContext& context, int device, InterceptionStrokeBuffer* strokes,
               unsigned int count);
int SimSend(SimContext& context, int device, const InterceptionStrokeBuffer* strokes,
            unsigned int count);
unsigned int SimHardwareId(SimContext& context, int device, void* buffer, unsigned int size);

std::u16string SimWiden(const std::string& utf8);

// Starts recording timestamps afresh, or stops.
void SimSetTiming(SimContext& context, bool enabled);
SimTiming SimTakeTimings(SimContext& context);
SimCounters SimCountersOf(SimContext& context);
