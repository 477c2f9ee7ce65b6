#include "simdriver/sim_control.h"

#include <cstdlib>

// Nothing a control-channel client sends can crash the stand-in: every line gets one reply.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SimContext context;
    static bool configured = false;
    if (!configured) {
        SimConfigureDevices(context, "1=ACPI\\PNP0303;2=HID\\VID_1234&PID_ABCD");
        configured = true;
    }
    std::string input(reinterpret_cast<const char*>(data), std::min<size_t>(size, 8192));
    size_t start = 0;
    while (start <= input.size()) {
        size_t end = input.find('\n', start);
        std::string line =
            input.substr(start, end == std::string::npos ? std::string::npos : end - start);
        std::string reply = SimHandleCommand(context, line);
        if (reply.empty() || reply.back() != '\n') {
            std::abort();
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    // Keep the simulated system's record from growing without bound across runs.
    SimTakeSystemStrokes(context);
    for (int device = 1; device <= 10; ++device) {
        context.devices[device].pending.clear();
    }
    return 0;
}
