#include "devices/hid_lookup.h"

#include <windows.h>
#include <setupapi.h>
// mingw-w64's HID header declares its calls without C linkage.
extern "C" {
#include <hidsdi.h>
}

#include <vector>

namespace {

// GUID_DEVINTERFACE_HID
const GUID HidInterfaceClass = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

// The set and the device-information element of the interface looked at last.
struct InterfaceSet {
    HDEVINFO info;
    SP_DEVINFO_DATA element;
};

HidInterfaceSet OpenSet() {
    HDEVINFO info = SetupDiGetClassDevsW(&HidInterfaceClass, nullptr, nullptr,
                                         DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (info == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    return new InterfaceSet{info, {}};
}

void CloseSet(HidInterfaceSet set) {
    auto* interfaces = static_cast<InterfaceSet*>(set);
    SetupDiDestroyDeviceInfoList(interfaces->info);
    delete interfaces;
}

bool InterfaceAt(HidInterfaceSet set, unsigned long index, std::wstring& devicePath) {
    auto* interfaces = static_cast<InterfaceSet*>(set);
    devicePath.clear();
    SP_DEVICE_INTERFACE_DATA interfaceData = {};
    interfaceData.cbSize = sizeof interfaceData;
    if (!SetupDiEnumDeviceInterfaces(interfaces->info, nullptr, &HidInterfaceClass, index,
                                     &interfaceData)) {
        return false;
    }
    DWORD required = 0;
    SetupDiGetDeviceInterfaceDetailW(interfaces->info, &interfaceData, nullptr, 0, &required,
                                     nullptr);
    if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
        return true;
    }
    // Freed on return, before the next interface is looked at.
    std::vector<BYTE> detailBuffer(required, 0);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(detailBuffer.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    interfaces->element = {};
    interfaces->element.cbSize = sizeof interfaces->element;
    if (SetupDiGetDeviceInterfaceDetailW(interfaces->info, &interfaceData, detail, required,
                                         nullptr, &interfaces->element)) {
        devicePath = detail->DevicePath;
    }
    return true;
}

HidDeviceHandle OpenDevice(const std::wstring& devicePath) {
    HANDLE device = CreateFileW(devicePath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    return device == INVALID_HANDLE_VALUE ? nullptr : device;
}

void CloseDevice(HidDeviceHandle device) {
    CloseHandle(device);
}

bool ProductString(HidDeviceHandle device, wchar_t* buffer, unsigned long bytes) {
    return HidD_GetProductString(device, buffer, bytes) != FALSE;
}

bool RegistryName(HidInterfaceSet set, unsigned long property, wchar_t* buffer,
                  unsigned long bytes) {
    auto* interfaces = static_cast<InterfaceSet*>(set);
    return SetupDiGetDeviceRegistryPropertyW(interfaces->info, &interfaces->element, property,
                                             nullptr, reinterpret_cast<BYTE*>(buffer), bytes,
                                             nullptr) != FALSE;
}

}  // namespace

HidLookupCalls hidLookupCalls = {OpenSet,     CloseSet,      InterfaceAt, OpenDevice,
                                 CloseDevice, ProductString, RegistryName};
