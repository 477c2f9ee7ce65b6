#include "devices/device_list.h"

#include "devices/device_key.h"

#include <windows.h>
#include <setupapi.h>
// mingw-w64's HID header declares its calls without C linkage.
extern "C" {
#include <hidsdi.h>
}

#include <cstring>
#include <vector>

namespace {

// GUID_DEVINTERFACE_HID
const GUID HidInterfaceClass = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

constexpr DWORD NameBufferBytes = 512;

// The buffer's text up to its first NUL, or all of it when it holds none.
std::wstring NameFrom(const wchar_t (&buffer)[NameBufferBytes / sizeof(wchar_t)]) {
    size_t length = 0;
    while (length < NameBufferBytes / sizeof(wchar_t) && buffer[length] != L'\0') {
        ++length;
    }
    return std::wstring(buffer, length);
}

std::wstring ProductString(const wchar_t* devicePath) {
    HANDLE device = CreateFileW(devicePath, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        return std::wstring();
    }
    wchar_t name[NameBufferBytes / sizeof(wchar_t)] = {};
    std::wstring product;
    if (HidD_GetProductString(device, name, NameBufferBytes) && name[0] != L'\0') {
        product = NameFrom(name);
    }
    CloseHandle(device);
    return product;
}

std::wstring RegistryName(HDEVINFO set, SP_DEVINFO_DATA& element, DWORD property) {
    wchar_t name[NameBufferBytes / sizeof(wchar_t)] = {};
    if (SetupDiGetDeviceRegistryPropertyW(set, &element, property, nullptr,
                                          reinterpret_cast<BYTE*>(name), NameBufferBytes,
                                          nullptr) &&
        name[0] != L'\0') {
        return NameFrom(name);
    }
    return std::wstring();
}

// The name of one interface whose key matched, or empty.
std::wstring NameOfInterface(HDEVINFO set, SP_DEVINFO_DATA& element, const wchar_t* devicePath) {
    std::wstring name = ProductString(devicePath);
    if (name.empty()) {
        name = RegistryName(set, element, SPDRP_FRIENDLYNAME);
    }
    if (name.empty()) {
        name = RegistryName(set, element, SPDRP_DEVICEDESC);
    }
    return name;
}

}  // namespace

std::wstring lookupHidProductName(const std::wstring& hardwareId) {
    const std::wstring target = buildDeviceKey(hardwareId);
    if (target.empty()) {
        return std::wstring();
    }
    HDEVINFO set = SetupDiGetClassDevsW(&HidInterfaceClass, nullptr, nullptr,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        return std::wstring();
    }
    std::wstring name;
    SP_DEVICE_INTERFACE_DATA interfaceData = {};
    interfaceData.cbSize = sizeof interfaceData;
    for (DWORD index = 0;
         name.empty() &&
         SetupDiEnumDeviceInterfaces(set, nullptr, &HidInterfaceClass, index, &interfaceData);
         ++index) {
        DWORD required = 0;
        SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, nullptr, 0, &required, nullptr);
        if (required == 0) {
            continue;
        }
        // Freed when the vector goes, before the next interface is looked at.
        std::vector<BYTE> detailBuffer(required, 0);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(detailBuffer.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        SP_DEVINFO_DATA element = {};
        element.cbSize = sizeof element;
        if (!SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, detail, required, nullptr,
                                              &element)) {
            continue;
        }
        if (buildDeviceKey(detail->DevicePath) != target) {
            continue;
        }
        name = NameOfInterface(set, element, detail->DevicePath);
    }
    SetupDiDestroyDeviceInfoList(set);
    return name;
}
