#include "devices/hid_lookup.h"

#include "devices/device_key.h"
#include "devices/device_list.h"

namespace {

constexpr size_t NameCharacters = HidNameBufferBytes / sizeof(wchar_t);

// The buffer's text up to its first NUL, or all of it when it holds none.
std::wstring NameFrom(const wchar_t (&buffer)[NameCharacters]) {
    size_t length = 0;
    while (length < NameCharacters && buffer[length] != L'\0') {
        ++length;
    }
    return std::wstring(buffer, length);
}

std::wstring ProductString(const std::wstring& devicePath) {
    HidDeviceHandle device = hidLookupCalls.openDevice(devicePath);
    if (device == nullptr) {
        return std::wstring();
    }
    wchar_t name[NameCharacters] = {};
    std::wstring product;
    if (hidLookupCalls.productString(device, name, HidNameBufferBytes) && name[0] != L'\0') {
        product = NameFrom(name);
    }
    hidLookupCalls.closeDevice(device);
    return product;
}

std::wstring RegistryName(HidInterfaceSet set, unsigned long property) {
    wchar_t name[NameCharacters] = {};
    if (hidLookupCalls.registryName(set, property, name, HidNameBufferBytes) && name[0] != L'\0') {
        return NameFrom(name);
    }
    return std::wstring();
}

// Shows each present interface whose key is the hardware id's to visit, with the set that
// remembers it, until visit says it has what it wanted.
template <typename Visit>
void VisitMatchingInterfaces(const std::wstring& hardwareId, Visit visit) {
    const std::wstring target = buildDeviceKey(hardwareId);
    if (target.empty()) {
        return;
    }
    HidInterfaceSet set = hidLookupCalls.openSet();
    if (set == nullptr) {
        return;
    }
    bool done = false;
    std::wstring devicePath;
    for (unsigned long index = 0; !done && hidLookupCalls.interfaceAt(set, index, devicePath);
         ++index) {
        if (!devicePath.empty() && buildDeviceKey(devicePath) == target) {
            done = visit(set, devicePath);
        }
    }
    hidLookupCalls.closeSet(set);
}

}  // namespace

std::wstring lookupHidProductName(const std::wstring& hardwareId) {
    std::wstring name;
    // A matching interface that yields no name does not end the search.
    VisitMatchingInterfaces(hardwareId, [&name](HidInterfaceSet set, const std::wstring& path) {
        name = ProductString(path);
        if (name.empty()) {
            name = RegistryName(set, HidFriendlyNameProperty);
        }
        if (name.empty()) {
            name = RegistryName(set, HidDescriptionProperty);
        }
        return !name.empty();
    });
    return name;
}

bool HidListsDevice(const std::wstring& hardwareId) {
    bool listed = false;
    VisitMatchingInterfaces(hardwareId, [&listed](HidInterfaceSet, const std::wstring&) {
        listed = true;
        return true;
    });
    return listed;
}
