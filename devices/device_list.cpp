#include "devices/device_list.h"

#include "capture/interception_driver.h"
#include "devices/device_naming.h"

#include <cstdint>

std::vector<DeviceEntry> DeviceList;

namespace {

constexpr unsigned int HardwareIdBytes = 1024;

}  // namespace

void rebuildDeviceList() {
    DeviceList.clear();
    if (interceptionContext == nullptr) {
        return;
    }
    for (int device = 1; device <= InterceptionMaxKeyboard; ++device) {
        uint16_t buffer[HardwareIdBytes / 2] = {};
        if (interception.getHardwareId(interceptionContext, device, buffer, HardwareIdBytes) == 0) {
            continue;
        }
        std::wstring hardwareId = HardwareIdFromBuffer(buffer, HardwareIdBytes / 2);
        DeviceNames names = NameDevice(hardwareId, lookupHidProductName(hardwareId));
        DeviceList.push_back({device, hardwareId, names.description, names.label});
    }
}
