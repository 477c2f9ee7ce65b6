#include "devices/device_selector.h"

#include "capture/capture_control.h"
#include "resources/resource.h"
#include "settings/settings_files.h"
#include "shell/log_line.h"

void fillDeviceSelector(HWND dialog, const std::wstring& preferredHardwareId) {
    rebuildDeviceList();
    HWND selector = GetDlgItem(dialog, IDC_DEVICE_SELECTOR);
    SendMessageW(selector, CB_RESETCONTENT, 0, 0);
    size_t chosen = 0;
    for (size_t index = 0; index < DeviceList.size(); ++index) {
        SendMessageW(selector, CB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(DeviceList[index].label.c_str()));
        // No early stop: of several identical devices the last one is chosen.
        if (!preferredHardwareId.empty() && DeviceList[index].hardwareId == preferredHardwareId) {
            chosen = index;
        }
    }
    if (!DeviceList.empty()) {
        SendMessageW(selector, CB_SETCURSEL, chosen, 0);
    }
}

const DeviceEntry* selectedDeviceEntry(HWND dialog) {
    LRESULT index = SendDlgItemMessageW(dialog, IDC_DEVICE_SELECTOR, CB_GETCURSEL, 0, 0);
    if (index < 0 || static_cast<size_t>(index) >= DeviceList.size()) {
        return nullptr;
    }
    return &DeviceList[static_cast<size_t>(index)];
}

void SelectDeviceAtStartup(HWND dialog, int savedDevice) {
    rebuildDeviceList();
    std::wstring preferred;
    for (const DeviceEntry& entry : DeviceList) {
        if (entry.deviceNumber == savedDevice) {
            preferred = entry.hardwareId;
            break;
        }
    }
    fillDeviceSelector(dialog, preferred);
}

void OnDeviceSelectionChange(HWND dialog) {
    const DeviceEntry* entry = selectedDeviceEntry(dialog);
    if (entry == nullptr) {
        return;
    }
    SaveSettings(entry->deviceNumber);
    LogLine(L"Device changed: " + entry->description);
    if (captureActive.load()) {
        LogLine(L"Restarting capture on the new device...");
        StopCapture(dialog, false);
        StartCapture(dialog);
    }
}
