// The keyboards the driver reports, in ascending device number, rebuilt on demand and used
// on the UI thread only.
#pragma once

#include <string>
#include <vector>

struct DeviceEntry {
    int deviceNumber;
    std::wstring hardwareId;
    std::wstring description;
    std::wstring label;
};

extern std::vector<DeviceEntry> DeviceList;

// Empties the list and asks the driver for keyboards 1 to 10; empty without a driver.
void rebuildDeviceList();

// The device's USB product string, else its friendly name, else its device description;
// empty when no present HID interface matches the hardware id's key.
std::wstring lookupHidProductName(const std::wstring& hardwareId);
