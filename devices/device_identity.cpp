#include "devices/device_identity.h"

#include "capture/interception_driver.h"
#include "devices/device_naming.h"

#include <cstdint>

DeviceIdentity rememberedDevice;

namespace {

constexpr unsigned int HardwareIdBytes = 1024;

}  // namespace

bool HasIdentity(const DeviceIdentity& identity) {
    return !identity.hardwareId.empty() || identity.deviceNumber != 0;
}

DeviceIdentity IdentityOfEntry(const std::vector<DeviceEntry>& list, size_t position) {
    DeviceIdentity identity;
    if (position >= list.size()) {
        return identity;
    }
    const DeviceEntry& entry = list[position];
    identity.hardwareId = entry.hardwareId;
    identity.deviceNumber = entry.deviceNumber;
    for (size_t k = 0; k <= position; ++k) {
        if (list[k].hardwareId == entry.hardwareId) {
            ++identity.instance;
        }
    }
    return identity;
}

DeviceIdentity IdentityInDeviceList(const DeviceEntry& entry) {
    return IdentityOfEntry(DeviceList, static_cast<size_t>(&entry - DeviceList.data()));
}

int FindRememberedDevice(const std::vector<DeviceEntry>& list, const DeviceIdentity& identity) {
    for (size_t k = 0; k < list.size(); ++k) {
        if (list[k].deviceNumber == identity.deviceNumber &&
            (identity.hardwareId.empty() || list[k].hardwareId == identity.hardwareId)) {
            return static_cast<int>(k);
        }
    }
    if (identity.hardwareId.empty()) {
        return -1;
    }
    int wanted = identity.instance > 0 ? identity.instance : 1;
    int seen = 0;
    for (size_t k = 0; k < list.size(); ++k) {
        if (list[k].hardwareId == identity.hardwareId && ++seen == wanted) {
            return static_cast<int>(k);
        }
    }
    return -1;
}

std::wstring LiveHardwareId(int deviceNumber) {
    if (interceptionContext == nullptr) {
        return std::wstring();
    }
    uint16_t buffer[HardwareIdBytes / 2] = {};
    if (interception.getHardwareId(interceptionContext, deviceNumber, buffer, HardwareIdBytes) ==
        0) {
        return std::wstring();
    }
    return HardwareIdFromBuffer(buffer, HardwareIdBytes / 2);
}
