// The product-name lookup's rules over a fake set of HID interfaces.
#include "devices/hid_lookup.h"

#include "devices/device_list.h"
#include "support/sim_session.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

struct FakeInterface {
    std::wstring path;  // empty: its details cannot be read
    bool opens;
    std::wstring product, friendlyName, description;
};

std::vector<FakeInterface> interfaces;
bool setAvailable = true;
int setsOpen = 0, devicesOpen = 0, setsOpened = 0;
size_t current = 0;

bool Fill(const std::wstring& text, wchar_t* buffer, unsigned long bytes) {
    std::memcpy(buffer, text.c_str(), std::min<size_t>(bytes, (text.size() + 1) * sizeof(wchar_t)));
    return true;
}

const HidLookupCalls FakeCalls = {
    [] {
        ++setsOpened;
        return setAvailable ? (++setsOpen, HidInterfaceSet(&interfaces)) : nullptr;
    },
    [](HidInterfaceSet) { --setsOpen; },
    [](HidInterfaceSet, unsigned long index, std::wstring& path) {
        current = index;
        path = index < interfaces.size() ? interfaces[index].path : L"";
        return index < interfaces.size();
    },
    [](const std::wstring& path) {
        FakeInterface& fake = interfaces[current];
        return fake.path == path && fake.opens ? (++devicesOpen, HidDeviceHandle(&fake)) : nullptr;
    },
    [](HidDeviceHandle) { --devicesOpen; },
    [](HidDeviceHandle device, wchar_t* buffer, unsigned long bytes) {
        return Fill(static_cast<FakeInterface*>(device)->product, buffer, bytes);
    },
    [](HidInterfaceSet, unsigned long property, wchar_t* buffer, unsigned long bytes) {
        const FakeInterface& fake = interfaces[current];
        return Fill(property == HidFriendlyNameProperty ? fake.friendlyName : fake.description,
                    buffer, bytes);
    },
};

const wchar_t* Scanner = L"HID\\VID_1A2B&PID_3C4D&REV_0100&MI_00";
const wchar_t* ScannerPath = L"\\\\?\\hid#vid_1a2b&pid_3c4d&mi_00&col01#7&5e6f7a&0&0000#{guid}";
const wchar_t* OtherPath = L"\\\\?\\hid#vid_1a2b&pid_3c4d#7&1&0&0000#{guid}";  // no MI_

struct LookupCase {
    const char* what;
    std::vector<FakeInterface> interfaces;
    const wchar_t* name;
};

TEST(HidLookup, NamesComeFromTheFirstMatchingInterfaceThatHasOne) {
    HidLookupCalls platform = hidLookupCalls;
    hidLookupCalls = FakeCalls;
    const LookupCase cases[] = {
        {"product string", {{ScannerPath, true, L"Scanner X", L"Friendly", L"Desc"}}, L"Scanner X"},
        {"friendly name", {{ScannerPath, true, L"", L"Friendly", L"Desc"}}, L"Friendly"},
        {"description", {{ScannerPath, true, L"", L"", L"Desc"}}, L"Desc"},
        {"one-letter product", {{ScannerPath, true, L"P", L"", L""}}, L"P"},
        {"one-letter description", {{ScannerPath, true, L"", L"", L"D"}}, L"D"},
        {"failed open", {{ScannerPath, false, L"Never", L"Friendly", L"Desc"}}, L"Friendly"},
        {"key differs", {{OtherPath, true, L"Other", L"", L""}}, L""},
        {"unreadable, then nameless, then named",
         {{L"", true, L"Never", L"", L""},
          {ScannerPath, true, L"", L"", L""},
          {OtherPath, true, L"Other", L"", L""},
          {ScannerPath, true, L"Second", L"", L""},
          {ScannerPath, true, L"Third", L"", L""}},
         L"Second"},
        {"a name that fills the buffer",
         {{ScannerPath, true, std::wstring(300, L'x'), L"", L""}},
         nullptr},
    };
    for (const LookupCase& c : cases) {
        interfaces = c.interfaces;
        std::wstring expected =
            c.name != nullptr ? c.name : std::wstring(HidNameBufferBytes / sizeof(wchar_t), L'x');
        EXPECT_EQ(expected, lookupHidProductName(Scanner)) << c.what;
        EXPECT_EQ(0, setsOpen) << c.what;
        EXPECT_EQ(0, devicesOpen) << c.what;
    }
    // No key, no enumeration; no set, no name.
    setsOpened = 0;
    EXPECT_EQ(L"", lookupHidProductName(L"ACPI\\PNP0303"));
    EXPECT_EQ(0, setsOpened);
    setAvailable = false;
    EXPECT_EQ(L"", lookupHidProductName(Scanner));
    EXPECT_EQ(1, setsOpened);
    setAvailable = true;
    hidLookupCalls = platform;
}

// Windows lists the scanner, yet no driver number reports it: the driver's numbers are used up.
TEST(HidLookup, AScannerListedByWindowsButNumberedByNoOneIsTold) {
    HidLookupCalls platform = hidLookupCalls;
    hidLookupCalls = FakeCalls;
    SimSession sim;
    ASSERT_TRUE(sim.Open("2=ACPI\\PNP0303"));
    interfaces = {{OtherPath, true, L"", L"", L""}, {ScannerPath, true, L"", L"", L""}};
    EXPECT_TRUE(DriverHasNoNumberFor(Scanner));
    ASSERT_EQ("ok", sim.Command("plug 1 HID\\VID_1A2B&PID_3C4D&REV_0100&MI_00"));
    EXPECT_FALSE(DriverHasNoNumberFor(Scanner));  // numbered, the first number: nothing to say
    ASSERT_EQ("ok", sim.Command("unplug 1"));
    interfaces = {{OtherPath, true, L"", L"", L""}};
    EXPECT_FALSE(DriverHasNoNumberFor(Scanner));  // not plugged in at all
    EXPECT_EQ(0, setsOpen);
    sim.Close();
    hidLookupCalls = platform;
}

}  // namespace
