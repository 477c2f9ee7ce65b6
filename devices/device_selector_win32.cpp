#include "devices/device_selector.h"

#include "capture/capture_control.h"
#include "common/log_line.h"
#include "devices/device_identity.h"
#include "resources/resource.h"
#include "settings/settings_files.h"

namespace {

WPARAM IndexOfNumber(int deviceNumber) {
    for (size_t index = 0; index < DeviceList.size(); ++index) {
        if (DeviceList[index].deviceNumber == deviceNumber) {
            return index;
        }
    }
    return static_cast<WPARAM>(-1);
}

}  // namespace

void fillDeviceSelector(HWND dialog) {
    rebuildDeviceList();
    HWND selector = GetDlgItem(dialog, IDC_DEVICE_SELECTOR);
    SendMessageW(selector, CB_RESETCONTENT, 0, 0);
    for (const DeviceEntry& entry : DeviceList) {
        SendMessageW(selector, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.label.c_str()));
    }
    if (captureActive.load()) {
        SelectDeviceNumber(dialog, capturedDevice);
        return;
    }
    int remembered = FindRememberedDevice(DeviceList, rememberedDevice);
    if (!DeviceList.empty()) {
        SendMessageW(selector, CB_SETCURSEL, remembered < 0 ? 0 : remembered, 0);
    }
}

void SelectDeviceNumber(HWND dialog, int deviceNumber) {
    SendDlgItemMessageW(dialog, IDC_DEVICE_SELECTOR, CB_SETCURSEL, IndexOfNumber(deviceNumber), 0);
}

const DeviceEntry* selectedDeviceEntry(HWND dialog) {
    LRESULT index = SendDlgItemMessageW(dialog, IDC_DEVICE_SELECTOR, CB_GETCURSEL, 0, 0);
    if (index < 0 || static_cast<size_t>(index) >= DeviceList.size()) {
        return nullptr;
    }
    return &DeviceList[static_cast<size_t>(index)];
}

void OnDeviceSelectionChange(HWND dialog) {
    const DeviceEntry* entry = selectedDeviceEntry(dialog);
    if (entry == nullptr) {
        return;
    }
    rememberedDevice = IdentityInDeviceList(*entry);
    SaveSettings(rememberedDevice);
    LogLine(L"Device changed: " + entry->description);
    if (captureActive.load()) {
        LogLine(L"Restarting capture on the new device...");
        StopCapture(dialog, false);
        // A refused start leaves capture stopped: the state file says so too.
        if (!StartCapture(dialog)) {
            SaveCaptureActive(false);
        }
    }
}
