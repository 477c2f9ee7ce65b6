#include "simdriver/sim_notify.h"

#include <windows.h>

#include <dbt.h>

#include <cstddef>
#include <string>

namespace {

// GUID_DEVINTERFACE_KEYBOARD, spelled out so that no extra library is needed for it.
constexpr GUID KeyboardInterface = {
    0x884b96c3, 0x56ef, 0x11d1, {0xbc, 0x8c, 0x00, 0xa0, 0xc9, 0x14, 0x05, 0xdd}};
constexpr UINT SendLimitMs = 5000;

// An interface path as Windows names one: the device instance (the hardware id without its
// revision, its backslashes as '#', and an instance part), then the interface class. A program
// that compares it with the driver's hardware id as given fails here as it would on Windows.
std::wstring InterfacePath(const SimDeviceEvent& event) {
    std::wstring device(event.hardwareId.begin(), event.hardwareId.end());
    size_t revision = device.find(L"&REV_");
    if (revision != std::wstring::npos) {
        device.erase(revision, device.find(L'&', revision + 1) - revision);
    }
    for (wchar_t& c : device) {
        c = c == L'\\' ? L'#' : c;
    }
    return L"\\\\?\\" + device + L"#7&2f1c0d3a&0&000" + std::to_wstring(event.device - 1) +
           L"#{884b96c3-56ef-11d1-bc8c-00a0c91405dd}";
}

BOOL CALLBACK CollectOwnWindow(HWND window, LPARAM windows) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId()) {
        reinterpret_cast<std::vector<HWND>*>(windows)->push_back(window);
    }
    return TRUE;
}

}  // namespace

void SimAnnounce(const std::vector<SimDeviceEvent>& events) {
    for (const SimDeviceEvent& event : events) {
        std::wstring path = InterfacePath(event);
        size_t size = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) +
                      (path.size() + 1) * sizeof(wchar_t);
        std::vector<unsigned char> storage(size);
        auto* notice = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(storage.data());
        notice->dbcc_size = static_cast<DWORD>(size);
        notice->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        notice->dbcc_classguid = KeyboardInterface;
        path.copy(notice->dbcc_name, path.size());
        std::vector<HWND> windows;
        EnumWindows(CollectOwnWindow, reinterpret_cast<LPARAM>(&windows));
        for (HWND window : windows) {
            DWORD_PTR result = 0;
            SendMessageTimeoutW(window, WM_DEVICECHANGE,
                                event.arrival ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE,
                                reinterpret_cast<LPARAM>(notice), SMTO_ABORTIFHUNG, SendLimitMs,
                                &result);
        }
    }
}
