#include "devices/device_naming.h"
#include "fuzz/fuzz_input.h"

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first byte splits the rest into the driver's reply buffer and a product name.
    if (size < 1) {
        return 0;
    }
    size_t split = std::min<size_t>(data[0] * 4u, size - 1);
    std::vector<uint16_t> reply;
    for (size_t k = 1; k + 1 < 1 + split; k += 2) {
        reply.push_back(static_cast<uint16_t>(data[k] | (data[k + 1] << 8)));
    }
    std::wstring hardwareId = HardwareIdFromBuffer(reply.data(), reply.size());
    std::wstring product = WideFrom(data + 1 + split, size - 1 - split);
    if (hardwareId.size() > reply.size()) {
        std::abort();
    }
    DeviceNames names = NameDevice(hardwareId, product);
    std::wstring longId = LongIdOf(hardwareId);
    if (product.empty() && longId.empty() && names.label.size() > 63) {
        std::abort();
    }
    if (ShortIdOf(longId).size() > longId.size() || names.label.size() > names.description.size()) {
        std::abort();
    }
    return 0;
}
