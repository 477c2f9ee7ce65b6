// The HID product-name lookup's platform calls, as a table: SetupAPI and the HID library on
// Windows, replaceable in tests so that the lookup's rules run without devices.
#pragma once

#include <string>

using HidInterfaceSet = void*;
using HidDeviceHandle = void*;

constexpr unsigned long HidNameBufferBytes = 512;
// The registry properties asked for when a device gives no product string.
constexpr unsigned long HidFriendlyNameProperty = 12;  // SPDRP_FRIENDLYNAME
constexpr unsigned long HidDescriptionProperty = 0;    // SPDRP_DEVICEDESC

struct HidLookupCalls {
    // The present HID interfaces; null when the system gives none.
    HidInterfaceSet (*openSet)();
    void (*closeSet)(HidInterfaceSet set);
    // False past the last interface. An interface whose details cannot be read gives an empty
    // path. The set remembers the interface for the registry queries that follow.
    bool (*interfaceAt)(HidInterfaceSet set, unsigned long index, std::wstring& devicePath);
    // Opened without read or write access; null when it cannot be opened.
    HidDeviceHandle (*openDevice)(const std::wstring& devicePath);
    void (*closeDevice)(HidDeviceHandle device);
    bool (*productString)(HidDeviceHandle device, wchar_t* buffer, unsigned long bytes);
    // A registry property of the interface interfaceAt gave last.
    bool (*registryName)(HidInterfaceSet set, unsigned long property, wchar_t* buffer,
                         unsigned long bytes);
};

// The platform's calls; on a system without HID, openSet always gives null.
extern HidLookupCalls hidLookupCalls;
