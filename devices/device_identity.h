// What the remembered device is, beyond the number the driver happens to give it today:
// numbers change when a device is re-plugged, moved to another port or the machine boots with
// its devices in another order, so the device is remembered by its hardware id, and, among
// identical devices, by its place among them.
#pragma once

#include "capture/interception_driver.h"
#include "devices/device_list.h"

#include <bitset>

#include <string>
#include <vector>

struct DeviceIdentity {
    std::wstring hardwareId;  // empty: known by its number alone (an old config.ini)
    int instance = 0;         // 1 for the first of the present devices with this id, and so on
    int deviceNumber = 0;     // where it was last seen; 0 for no device
    // The number was seen by this run of the program. A number read from the settings may be
    // another device's after a boot, so among identical devices it decides nothing.
    bool numberKnown = false;
    // Numbers of identical devices that capture found not to be this one in this run.
    std::bitset<InterceptionMaxKeyboard + 1> twins{};
};

// The device the user chose or capture runs on; the settings save this one.
extern DeviceIdentity rememberedDevice;

bool HasIdentity(const DeviceIdentity& identity);

// The identity of the entry at a position of the list: the user's choice, or a device found.
DeviceIdentity IdentityOfEntry(const std::vector<DeviceEntry>& list, size_t position);
// The same for an entry of DeviceList, such as the selector's.
DeviceIdentity IdentityInDeviceList(const DeviceEntry& entry);

// The position of the remembered device in the list, or -1 when it is not present: the entry
// at its number when that number is known and still has its hardware id, else the instance-th
// entry with that id that is not a known twin (the last when fewer are present: an identical
// one may be gone). Without a hardware id, the entry at its number.
int FindRememberedDevice(const std::vector<DeviceEntry>& list, const DeviceIdentity& identity);

// The hardware id the driver reports at a number now, without any name lookup; empty when
// there is no device.
std::wstring LiveHardwareId(int deviceNumber);
