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

// Whether Windows lists a present HID interface of the device (vendor, product and interface
// number compared).
bool HidListsDevice(const std::wstring& hardwareId);

// Windows lists the device, but no keyboard number of the driver reports its id: the driver
// numbers every attach anew until Windows restarts, and has run out of numbers for it.
bool DriverHasNoNumberFor(const std::wstring& hardwareId);
