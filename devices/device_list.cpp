#include "devices/device_list.h"

#include "capture/interception_driver.h"
#include "devices/device_identity.h"
#include "devices/device_naming.h"

std::vector<DeviceEntry> DeviceList;

namespace {

// Two collections or interfaces of one device share vendor and product, so their short labels
// are equal: such entries show their long id, which tells the interface and the collection.
// Identical devices (equal ids) keep equal labels: nothing tells them apart but their order.
void DistinguishLabels(std::vector<DeviceEntry>& list) {
    std::vector<bool> shared(list.size(), false);
    for (size_t a = 0; a < list.size(); ++a) {
        for (size_t b = a + 1; b < list.size(); ++b) {
            if (list[a].label == list[b].label && list[a].hardwareId != list[b].hardwareId) {
                shared[a] = shared[b] = true;
            }
        }
    }
    for (size_t k = 0; k < list.size(); ++k) {
        if (shared[k]) {
            list[k].label = list[k].description;
        }
    }
}

}  // namespace

bool DriverHasNoNumberFor(const std::wstring& hardwareId) {
    if (interceptionContext == nullptr || hardwareId.empty()) {
        return false;
    }
    for (int device = 1; device <= InterceptionMaxKeyboard; ++device) {
        if (LiveHardwareId(device) == hardwareId) {
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
        std::wstring hardwareId = LiveHardwareId(device);
        if (hardwareId.empty()) {
            continue;
        }
        DeviceNames names = NameDevice(hardwareId, lookupHidProductName(hardwareId));
        DeviceList.push_back({device, hardwareId, names.description, names.label});
    }
    DistinguishLabels(DeviceList);
}
