#include "devices/device_selector.h"

#include "capture/capture_control.h"
#include "common/log_line.h"
#include "devices/device_identity.h"
#include "devices/device_naming.h"
#include "resources/resource.h"
#include "settings/settings_files.h"

namespace {

// The remembered device is shown as not connected after the list's entries; the item stands
// for this identity even after the user tried other entries.
bool absentItemShown = false;
DeviceIdentity absentDevice;

int IndexOfNumber(int deviceNumber) {
    for (size_t index = 0; index < DeviceList.size(); ++index) {
        if (DeviceList[index].deviceNumber == deviceNumber) {
            return static_cast<int>(index);
        }
    }
    return -1;
}

int AbsentItemIndex() {
    return absentItemShown ? static_cast<int>(DeviceList.size()) : -1;
}

// Its name as the list would give it while it is still known to Windows, else from its id.
std::wstring AbsentLabel() {
    const std::wstring& id = rememberedDevice.hardwareId;
    return NameDevice(id, lookupHidProductName(id)).label + L" (not connected)";
}

}  // namespace

void fillDeviceSelector(HWND dialog) {
    rebuildDeviceList();
    HWND selector = GetDlgItem(dialog, IDC_DEVICE_SELECTOR);
    SendMessageW(selector, CB_RESETCONTENT, 0, 0);
    for (const DeviceEntry& entry : DeviceList) {
        SendMessageW(selector, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.label.c_str()));
    }
    int remembered = FindRememberedDevice(DeviceList, rememberedDevice);
    bool waiting = captureActive.load() && capturedDevice == 0;
    // The capture thread's news of a re-plug may still be on its way: the remembered device
    // stands in for it meanwhile.
    int captured = captureActive.load() && !waiting ? IndexOfNumber(capturedDevice) : -1;
    absentItemShown = !rememberedDevice.hardwareId.empty() && (waiting || remembered < 0);
    if (absentItemShown) {
        absentDevice = rememberedDevice;
        SendMessageW(selector, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(AbsentLabel().c_str()));
    }
    int index = captured >= 0 ? captured : absentItemShown ? AbsentItemIndex() : remembered;
    SendMessageW(selector, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

const DeviceEntry* selectedDeviceEntry(HWND dialog) {
    LRESULT index = SendDlgItemMessageW(dialog, IDC_DEVICE_SELECTOR, CB_GETCURSEL, 0, 0);
    if (index < 0 || static_cast<size_t>(index) >= DeviceList.size()) {
        return nullptr;
    }
    return &DeviceList[static_cast<size_t>(index)];
}

bool AbsentDeviceSelected(HWND dialog) {
    return absentItemShown && SendDlgItemMessageW(dialog, IDC_DEVICE_SELECTOR, CB_GETCURSEL, 0,
                                                  0) == AbsentItemIndex();
}

void OnDeviceSelectionChange(HWND dialog) {
    const DeviceEntry* entry = selectedDeviceEntry(dialog);
    if (entry == nullptr && !AbsentDeviceSelected(dialog)) {
        return;
    }
    rememberedDevice = entry != nullptr ? IdentityInDeviceList(*entry) : absentDevice;
    SaveSettings(rememberedDevice);
    NoteDeviceChosen(dialog);
    LogLine(L"Device changed: " +
            (entry != nullptr ? entry->description
                              : NameDevice(absentDevice.hardwareId, std::wstring()).description));
    if (captureActive.load()) {
        LogLine(L"Restarting capture on the new device...");
        StopCapture(dialog, false);
        // A refused start leaves capture stopped: the state file says so too.
        if (!StartCapture(dialog)) {
            SaveCaptureActive(false);
        }
    }
}
