#include "simdriver/sim_control.h"

#include <windows.h>

#include <dbt.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

namespace {

struct Notice {
    WPARAM kind;
    std::wstring name;
};

std::vector<Notice> notices;

// Keeps what a program registered for keyboard interfaces would look at.
LRESULT CALLBACK RecordingWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DEVICECHANGE) {
        const auto* notice = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(lParam);
        const GUID keyboards = {
            0x884b96c3, 0x56ef, 0x11d1, {0xbc, 0x8c, 0x00, 0xa0, 0xc9, 0x14, 0x05, 0xdd}};
        std::wstring name(notice->dbcc_name);
        bool whole = notice->dbcc_size ==
                     offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) + (name.size() + 1) * 2;
        bool keyboard = notice->dbcc_devicetype == DBT_DEVTYP_DEVICEINTERFACE &&
                        IsEqualGUID(notice->dbcc_classguid, keyboards);
        notices.push_back({wParam, whole && keyboard ? name : L"malformed"});
        return TRUE;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

TEST(SimNotify, ArrivalsAndRemovalsReachTheProcessWindowsBeforeTheReply) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = RecordingWindow;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"WendaluxSimNotifyTest";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                                  nullptr, windowClass.hInstance, nullptr);
    ASSERT_NE(nullptr, window);
    SimContext context;
    SimConfigureDevices(context, "1=ACPI\\PNP0303");
    for (const char* command : {"plug 3 HID\\VID_1234&PID_ABCD&REV_0100&MI_00", "move 3 4",
                                "unplug 4", "unplug 4", "plug 3 X"}) {
        SimHandleCommand(context, command);
    }
    DestroyWindow(window);
    ASSERT_EQ(4u, notices.size());
    const WPARAM kinds[] = {DBT_DEVICEARRIVAL, DBT_DEVICEREMOVECOMPLETE, DBT_DEVICEARRIVAL,
                            DBT_DEVICEREMOVECOMPLETE};
    const std::wstring prefix = L"\\\\?\\HID#VID_1234&PID_ABCD&MI_00#";
    const std::wstring suffix = L"#{884b96c3-56ef-11d1-bc8c-00a0c91405dd}";
    for (size_t k = 0; k < notices.size(); ++k) {
        const std::wstring& name = notices[k].name;
        EXPECT_EQ(kinds[k], notices[k].kind) << k;
        EXPECT_EQ(prefix, name.substr(0, prefix.size())) << k;
        EXPECT_TRUE(name.size() > prefix.size() + suffix.size() &&
                    name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            << k;
    }
    EXPECT_EQ(notices[2].name, notices[3].name);
}

}  // namespace
