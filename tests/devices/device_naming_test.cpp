#include "devices/device_key.h"
#include "devices/device_naming.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct KeyCase {
    const wchar_t* text;
    const wchar_t* key;
};

TEST(DeviceKey, ComponentsFoundInTheUpperCasedText) {
    const KeyCase cases[] = {
        {L"\\\\?\\hid#vid_1a2b&pid_3c4d&mi_00&col01#7&5e6f7a&0&0000#"
         L"{4d1e55b2-f16f-11cf-88cb-001111000030}",
         L"VID_1A2B&PID_3C4D&MI_00"},
        {L"HID\\VID_1A2B&PID_3C4D&REV_0100&MI_00", L"VID_1A2B&PID_3C4D&MI_00"},
        {L"HID\\VID_1234&PID_5678&REV_0100", L"VID_1234&PID_5678"},
        {L"HID\\PID_5678", L"&PID_5678"},
        {L"HID\\VID_12", L""},
        {L"HID\\VID_1234&PID_5678&MI_0", L"VID_1234&PID_5678"},
        {L"ACPI\\PNP0303", L""},
        {L"", L""},
        {L"MI_", L""},
        {L"MI_01", L"&MI_01"},
        {L"PID_ABCDVID_0001", L"VID_0001&PID_ABCD"},  // always vendor, product, interface
        {L"vid_zz!?&pid_\u00e9\u00e9\u00e9\u00e9", L"VID_ZZ!?&PID_\u00e9\u00e9\u00e9\u00e9"},
    };
    for (const KeyCase& c : cases) {
        EXPECT_EQ(std::wstring(c.key), buildDeviceKey(c.text)) << c.key;
    }
    // A path whose interface carries MI_00 does not match an id without one: lengths differ.
    EXPECT_NE(buildDeviceKey(L"HID\\VID_1234&PID_5678&REV_0100"),
              buildDeviceKey(L"\\\\?\\hid#vid_1234&pid_5678&mi_00#8&1&0&0000#{x}"));
}

struct NameCase {
    const wchar_t* hardwareId;
    const wchar_t* product;
    const wchar_t* description;
    const wchar_t* label;
};

TEST(DeviceNaming, DescriptionAndLabelFromIdAndProductName) {
    const NameCase cases[] = {
        {L"HID\\VID_1234&PID_ABCD&REV_0100&MI_00", L"Barcode Scanner",
         L"Barcode Scanner [VID_1234&PID_ABCD&REV_0100&MI_00]",
         L"Barcode Scanner [VID_1234&PID_ABCD]"},
        {L"HID\\VID_1234&PID_ABCD&REV_0100&MI_00", L"", L"[VID_1234&PID_ABCD&REV_0100&MI_00]",
         L"[VID_1234&PID_ABCD]"},
        {L"HID\\VID_1234", L"", L"[VID_1234]", L"[VID_1234]"},
        {L"ACPI\\PNP0303", L"", L"PNP0303", L"PNP0303"},
        {L"ACPI\\PNP0303", L"Keyboard", L"Keyboard", L"Keyboard"},
        {L"HID\\vid_1234&pid_abcd", L"Scanner", L"Scanner", L"Scanner"},  // no "VID_": no id
        {L"USB\\VID_1234&PID_ABCD\\5&2F1B&0", L"", L"[VID_1234&PID_ABCD]", L"[VID_1234&PID_ABCD]"},
        {L"HID#VID_1234&PID_ABCD#7&1F", L"", L"[VID_1234&PID_ABCD]", L"[VID_1234&PID_ABCD]"},
        {L"X#VID_1234&PID_ABCD#7\\9", L"", L"[VID_1234&PID_ABCD#7]", L"[VID_1234&PID_ABCD]"},
        {L"HID\\VID_1234&PID_AB", L"", L"[VID_1234&PID_AB]", L"[VID_1234&PID_AB]"},
        {L"HID\\VID_1234&PID_ABCD", L"", L"[VID_1234&PID_ABCD]", L"[VID_1234&PID_ABCD]"},
        {L"VID", L"", L"VID", L"VID"},
        {L"", L"", L"", L""},
    };
    for (const NameCase& c : cases) {
        DeviceNames names = NameDevice(c.hardwareId, c.product);
        EXPECT_EQ(std::wstring(c.description), names.description) << c.description;
        EXPECT_EQ(std::wstring(c.label), names.label) << c.label;
    }
}

TEST(DeviceNaming, LongFallbackIsCutToSixtyCharactersAndAnEllipsis) {
    std::wstring seventy(70, L'K');
    for (int k = 0; k < 70; ++k) {
        seventy[static_cast<size_t>(k)] = static_cast<wchar_t>(L'A' + k % 26);
    }
    DeviceNames names = NameDevice(seventy, L"");
    EXPECT_EQ(seventy.substr(0, 60) + L"...", names.label);
    EXPECT_EQ(63u, names.description.size());
    std::wstring sixty = seventy.substr(0, 60);
    EXPECT_EQ(sixty, NameDevice(sixty, L"").label);
    EXPECT_EQ(sixty, NameDevice(L"ROOT\\" + sixty, L"").label);
}

TEST(DeviceNaming, HardwareIdStopsAtTheFirstNulOrTheBufferEnd) {
    const uint16_t reply[] = {'H', 'I', 'D', 0, 'X', 0, 0};
    EXPECT_EQ(L"HID", HardwareIdFromBuffer(reply, 7));
    const uint16_t full[] = {'A', 'B', 'C', 'D'};  // no NUL at all
    EXPECT_EQ(L"ABCD", HardwareIdFromBuffer(full, 4));
    EXPECT_EQ(L"AB", HardwareIdFromBuffer(full, 2));
}

}  // namespace
