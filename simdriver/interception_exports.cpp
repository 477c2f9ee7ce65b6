// The eight calls of interception.dll, served by the simulation.
#include "simdriver/sim_control.h"
#include "simdriver/sim_driver.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#ifdef _WIN32
#define SIM_EXPORT extern "C" __declspec(dllexport)
#else
#define SIM_EXPORT extern "C"
#endif

namespace {

constexpr const char* DefaultDevices = "1=ACPI\\PNP0303;2=HID\\VID_1234&PID_ABCD&REV_0100&MI_00";
constexpr uint16_t DefaultControlPort = 20297;

std::string Environment(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : fallback;
}

SimContext* Sim(InterceptionContext context) {
    return static_cast<SimContext*>(context);
}

std::atomic<unsigned long> contextCalls{0};

}  // namespace

SIM_EXPORT int interception_is_keyboard(InterceptionDevice device) {
    return device >= 1 && device <= InterceptionMaxKeyboard;
}

SIM_EXPORT InterceptionContext interception_create_context() {
    // A driver that comes up only after the program started refuses its first calls.
    unsigned long unavailableCalls =
        std::strtoul(Environment("INTERCEPTION_SIM_UNAVAILABLE_CALLS", "0").c_str(), nullptr, 10);
    if (Environment("INTERCEPTION_SIM_UNAVAILABLE", "") == "1" ||
        ++contextCalls <= unavailableCalls) {
        return nullptr;
    }
    auto* context = new SimContext;
    context->reuseNumbers = Environment("INTERCEPTION_SIM_REUSE_NUMBERS", "") == "1";
    context->arrivalUnfiltered = Environment("INTERCEPTION_SIM_ARRIVAL_UNFILTERED", "") == "1";
    SimConfigureDevices(*context, Environment("INTERCEPTION_SIM_DEVICES", DefaultDevices));
    std::string portText = Environment("INTERCEPTION_SIM_PORT", "");
    unsigned long port =
        portText.empty() ? DefaultControlPort : std::strtoul(portText.c_str(), nullptr, 10);
    SocketLibraryStart();
    SimStartControlChannel(*context, static_cast<uint16_t>(port),
                           Environment("INTERCEPTION_SIM_PORT_FILE", ""));
    return context;
}

SIM_EXPORT void interception_destroy_context(InterceptionContext context) {
    if (context == nullptr) {
        return;
    }
    SimStopControlChannel(*Sim(context));
    SocketLibraryStop();
    delete Sim(context);
}

SIM_EXPORT void interception_set_filter(InterceptionContext context,
                                        InterceptionPredicate predicate,
                                        InterceptionFilter filter) {
    if (context != nullptr) {
        // A driver call on a busy machine can take a while; tests ask for that to show what
        // happens meanwhile.
        unsigned long delay =
            std::strtoul(Environment("INTERCEPTION_SIM_FILTER_DELAY_MS", "0").c_str(), nullptr, 10);
        if (delay != 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(delay));
        }
        SimSetFilter(*Sim(context), predicate, filter);
    }
}

SIM_EXPORT int interception_wait_with_timeout(InterceptionContext context,
                                              unsigned long milliseconds) {
    return context != nullptr ? SimWait(*Sim(context), milliseconds) : 0;
}

SIM_EXPORT int interception_send(InterceptionContext context, InterceptionDevice device,
                                 const InterceptionStrokeBuffer* stroke, unsigned int count) {
    return context != nullptr ? SimSend(*Sim(context), device, stroke, count) : 0;
}

SIM_EXPORT int interception_receive(InterceptionContext context, InterceptionDevice device,
                                    InterceptionStrokeBuffer* stroke, unsigned int count) {
    return context != nullptr ? SimReceive(*Sim(context), device, stroke, count) : 0;
}

SIM_EXPORT unsigned int interception_get_hardware_id(InterceptionContext context,
                                                     InterceptionDevice device, void* buffer,
                                                     unsigned int size) {
    return context != nullptr ? SimHardwareId(*Sim(context), device, buffer, size) : 0;
}
