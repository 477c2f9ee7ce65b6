#include "devices/device_identity.h"

#include "capture/interception_driver.h"
#include "capture/scanner_whereabouts.h"
#include "devices/device_naming.h"

#include <algorithm>
#include <cstdint>

DeviceIdentity rememberedDevice;

namespace {

bool IsKnownTwin(const DeviceIdentity& identity, int deviceNumber) {
    return deviceNumber >= 1 && deviceNumber <= InterceptionMaxKeyboard &&
           identity.twins.test(static_cast<size_t>(deviceNumber));
}

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
    identity.numberKnown = true;
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
    std::vector<int> equals;
    for (size_t k = 0; k < list.size(); ++k) {
        bool atNumber = list[k].deviceNumber == identity.deviceNumber;
        if (identity.hardwareId.empty()) {
            if (atNumber) {
                return static_cast<int>(k);
            }
        } else if (list[k].hardwareId == identity.hardwareId) {
            if (atNumber && identity.numberKnown) {
                return static_cast<int>(k);
            }
            if (!IsKnownTwin(identity, list[k].deviceNumber)) {
                equals.push_back(static_cast<int>(k));
            }
        }
    }
    if (equals.empty()) {
        return -1;
    }
    size_t place = static_cast<size_t>(identity.instance > 0 ? identity.instance : 1);
    return equals[std::min(place, equals.size()) - 1];
}

std::wstring LiveHardwareId(int deviceNumber) {
    if (interceptionContext == nullptr) {
        return std::wstring();
    }
    uint16_t buffer[HardwareIdReplyBytes / 2] = {};
    if (interception.getHardwareId(interceptionContext, deviceNumber, buffer,
                                   HardwareIdReplyBytes) == 0) {
        return std::wstring();
    }
    return HardwareIdFromBuffer(buffer, HardwareIdReplyBytes / 2);
}
