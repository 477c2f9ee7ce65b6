#include "devices/device_list.h"

#include "capture/interception_driver.h"
#include "devices/device_naming.h"

#include <cstdint>

std::vector<DeviceEntry> DeviceList;

namespace {

constexpr unsigned int HardwareIdBytes = 1024;

// The id the driver reports for the number; empty when no keyboard is there.
std::wstring DriverHardwareId(int device) {
    uint16_t buffer[HardwareIdBytes / 2] = {};
    if (interception.getHardwareId(interceptionContext, device, buffer, HardwareIdBytes) == 0) {
        return std::wstring();
    }
    return HardwareIdFromBuffer(buffer, HardwareIdBytes / 2);
}

}  // namespace

bool DriverHasNoNumberFor(const std::wstring& hardwareId) {
    if (interceptionContext == nullptr || hardwareId.empty()) {
        return false;
    }
    for (int device = 1; device <= InterceptionMaxKeyboard; ++device) {
        if (DriverHardwareId(device) == hardwareId) {
            return false;
        }
    }
    return HidListsDevice(hardwareId);
}

void rebuildDeviceList() {
    DeviceList.clear();
    if (interceptionContext == nullptr) {
        return;
    }
    for (int device = 1; device <= InterceptionMaxKeyboard; ++device) {
        std::wstring hardwareId = DriverHardwareId(device);
        if (hardwareId.empty()) {
            continue;
        }
        DeviceNames names = NameDevice(hardwareId, lookupHidProductName(hardwareId));
        DeviceList.push_back({device, hardwareId, names.description, names.label});
    }
}
