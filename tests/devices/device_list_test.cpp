#include "devices/device_list.h"

#include "capture/interception_driver.h"
#include "devices/device_identity.h"
#include "support/sim_session.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(DeviceList, OneEntryPerReportedKeyboardInDeviceOrder) {
    SimSession sim;
    ASSERT_TRUE(sim.Open("5=HID\\VID_1234&PID_ABCD&REV_0100&MI_00;2=ACPI\\PNP0303"));
    rebuildDeviceList();
    ASSERT_EQ(2u, DeviceList.size());
    EXPECT_EQ(2, DeviceList[0].deviceNumber);
    EXPECT_EQ(L"ACPI\\PNP0303", DeviceList[0].hardwareId);
    EXPECT_EQ(L"PNP0303", DeviceList[0].label);
    EXPECT_EQ(5, DeviceList[1].deviceNumber);
    EXPECT_EQ(L"HID\\VID_1234&PID_ABCD&REV_0100&MI_00", DeviceList[1].hardwareId);
    EXPECT_EQ(L"[VID_1234&PID_ABCD&REV_0100&MI_00]", DeviceList[1].description);
    EXPECT_EQ(L"[VID_1234&PID_ABCD]", DeviceList[1].label);

    // A keyboard that vanished is gone after the next rebuild, and one that came is there.
    ASSERT_EQ("ok", sim.Command("unplug 2"));
    ASSERT_EQ("ok", sim.Command("plug 10 HID\\VID_0001&PID_0002"));
    rebuildDeviceList();
    ASSERT_EQ(2u, DeviceList.size());
    EXPECT_EQ(5, DeviceList[0].deviceNumber);
    EXPECT_EQ(10, DeviceList[1].deviceNumber);
    // With the driver closed there is nothing to list.
    sim.Close();
    rebuildDeviceList();
    EXPECT_TRUE(DeviceList.empty());
}

TEST(DeviceList, IdenticalScannersGiveIdenticalNamesInDeviceOrder) {
    SimSession sim;
    ASSERT_TRUE(sim.Open("5=HID\\VID_1234&PID_ABCD&MI_00;3=HID\\VID_1234&PID_ABCD&MI_00"));
    rebuildDeviceList();
    ASSERT_EQ(2u, DeviceList.size());
    EXPECT_EQ(3, DeviceList[0].deviceNumber);
    EXPECT_EQ(5, DeviceList[1].deviceNumber);
    EXPECT_EQ(L"[VID_1234&PID_ABCD]", DeviceList[0].label);
    EXPECT_EQ(DeviceList[0].label, DeviceList[1].label);
    EXPECT_EQ(DeviceList[0].description, DeviceList[1].description);
    // Two collections of one composite scanner are told apart by their long ids.
    ASSERT_EQ("ok", sim.Command("plug 7 HID\\VID_1234&PID_ABCD&MI_01&Col01"));
    ASSERT_EQ("ok", sim.Command("plug 8 HID\\VID_1234&PID_ABCD&MI_01&Col02"));
    rebuildDeviceList();
    ASSERT_EQ(4u, DeviceList.size());
    EXPECT_EQ(L"[VID_1234&PID_ABCD&MI_00]", DeviceList[0].label);
    EXPECT_EQ(L"[VID_1234&PID_ABCD&MI_01&Col01]", DeviceList[2].label);
    EXPECT_EQ(L"[VID_1234&PID_ABCD&MI_01&Col02]", DeviceList[3].label);
    sim.Close();
    // Two interfaces side by side, nothing else listed.
    ASSERT_TRUE(sim.Open("1=HID\\VID_1234&PID_ABCD&MI_00;2=HID\\VID_1234&PID_ABCD&MI_01"));
    rebuildDeviceList();
    ASSERT_EQ(2u, DeviceList.size());
    EXPECT_EQ(L"[VID_1234&PID_ABCD&MI_00]", DeviceList[0].label);
    EXPECT_EQ(L"[VID_1234&PID_ABCD&MI_01]", DeviceList[1].label);
    sim.Close();
}

TEST(DeviceList, HardwareIdThatFillsTheWholeReplyIsTakenUpToTheBufferEnd) {
    SimSession sim;
    ASSERT_TRUE(sim.Open("1=" + std::string(700, 'Z')));
    rebuildDeviceList();
    ASSERT_EQ(1u, DeviceList.size());
    EXPECT_EQ(std::wstring(512, L'Z'), DeviceList[0].hardwareId);
    EXPECT_EQ(std::wstring(60, L'Z') + L"...", DeviceList[0].label);
    sim.Close();
}

TEST(DeviceList, EmptyWithoutADriver) {
    DeviceList.push_back({1, L"old", L"old", L"old"});
    interceptionContext = nullptr;
    rebuildDeviceList();
    EXPECT_TRUE(DeviceList.empty());
}

TEST(DeviceList, ProductNameLookupFindsNothingWithoutHidDevices) {
    // No HID interfaces exist under Wine or natively; an id with no USB key is not even looked
    // up.
    EXPECT_EQ(L"", lookupHidProductName(L"HID\\VID_1234&PID_ABCD&REV_0100&MI_00"));
    EXPECT_EQ(L"", lookupHidProductName(L"ACPI\\PNP0303"));
}

}  // namespace

namespace {

struct RememberedCase {
    DeviceIdentity identity;
    int position;
};

TEST(DeviceIdentity, RememberedDeviceIsFoundByNumberThenByPlaceAmongEquals) {
    const std::wstring s = L"HID\\VID_1234&PID_ABCD";
    const std::vector<DeviceEntry> list = {{1, L"ACPI\\PNP0303", L"", L""},
                                           {3, s, L"", L""},
                                           {5, s, L"", L""},
                                           {10, L"HID\\K", L"", L""}};
    // A number read from the settings (not known in this run) decides nothing among equals;
    // with fewer equals than the instance, the last is taken.
    const RememberedCase cases[] = {
        {{s, 1, 3, true}, 1},    {{s, 2, 5, true}, 2},  {{s, 1, 4, true}, 1},
        {{s, 2, 3, true}, 1},    {{s, 2, 3, false}, 2}, {{s, 1, 5, false}, 1},
        {{s, 3, 9, false}, 2},   {{s, 2, 10, true}, 2}, {{s, 0, 0}, 1},
        {{L"", 0, 10}, 3},       {{L"", 0, 4}, -1},     {{L"", 0, 0}, -1},
        {{L"HID\\X", 1, 1}, -1},
    };
    for (const RememberedCase& c : cases) {
        EXPECT_EQ(c.position, FindRememberedDevice(list, c.identity))
            << c.identity.instance << " " << c.identity.deviceNumber << " "
            << c.identity.numberKnown;
    }
    DeviceIdentity twin = IdentityOfEntry(list, 2);
    EXPECT_EQ(s, twin.hardwareId);
    EXPECT_EQ(2, twin.instance);
    EXPECT_EQ(5, twin.deviceNumber);
    EXPECT_FALSE(HasIdentity(IdentityOfEntry(list, 4)));
    EXPECT_TRUE(HasIdentity({L"", 0, 7}));  // an older config.ini: a number alone
}

}  // namespace
