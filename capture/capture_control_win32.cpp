#include "capture/capture_control.h"

#include "capture/capture_thread.h"
#include "capture/interception_driver.h"
#include "capture/scan_assembly.h"
#include "devices/device_identity.h"
#include "devices/device_list.h"
#include "devices/device_naming.h"
#include "devices/device_selector.h"
#include "forwarding/port_text.h"
#include "forwarding/server_control.h"
#include "forwarding/tcp_server.h"
#include "resources/resource.h"
#include "settings/settings_files.h"
#include "common/log_line.h"

namespace {

constexpr int PortTextCharacters = 16;
// Often enough that a plugged-in scanner is taken within two seconds; each look is ten
// hardware-id queries, no name lookup.
constexpr UINT PresenceMilliseconds = 1000;

// Whether the device has been present since capture started (so its return is a resumption).
bool capturedDeviceSeen = false;

// The button's caption, the status text, and the status repainted in the colour of the state.
void ShowCaptureState(HWND dialog) {
    bool active = captureActive.load();
    SetDlgItemTextW(dialog, IDC_START_STOP, active ? L"Stop" : L"Start");
    SetDlgItemTextW(dialog, IDC_CAPTURE_STATUS,
                    !active               ? L"Disconnected"
                    : capturedDevice == 0 ? L"Waiting for device"
                                          : L"Connected");
    InvalidateRect(GetDlgItem(dialog, IDC_CAPTURE_STATUS), nullptr, TRUE);
}

bool Refuse(HWND dialog, const wchar_t* text) {
    MessageBoxW(dialog, text, L"Error", MB_ICONWARNING);
    return false;
}

// The long name of the remembered device: its entry's when present, else one made from its id.
std::wstring RememberedDescription() {
    int position = FindRememberedDevice(DeviceList, rememberedDevice);
    if (position >= 0) {
        return DeviceList[static_cast<size_t>(position)].description;
    }
    return NameDevice(rememberedDevice.hardwareId, std::wstring()).description;
}

// The device was found at a number: the list is refreshed for its name, the selector shows it,
// and its number is remembered so that the next start looks there first.
void TakeFoundDevice(HWND dialog, int deviceNumber) {
    capturedDevice = deviceNumber;
    fillDeviceSelector(dialog);
    for (size_t k = 0; k < DeviceList.size(); ++k) {
        if (DeviceList[k].deviceNumber == deviceNumber) {
            rememberedDevice = IdentityOfEntry(DeviceList, k);
        }
    }
    SaveSettings(rememberedDevice);
}

// Starts the thread on the identity; the device may be present or not. The port has been
// checked.
bool ArmCapture(HWND dialog, const DeviceIdentity& identity, uint16_t port) {
    tcpPort = port;
    ApplyPortToServer(dialog);
    lowercaseOutput = IsDlgButtonChecked(dialog, IDC_CASE_LOWER) == BST_CHECKED;
    includeEnter = IsDlgButtonChecked(dialog, IDC_INCLUDE_ENTER) == BST_CHECKED;
    rememberedDevice = identity;
    ScanBufferClear();
    SaveSettings(rememberedDevice);
    CaptureTarget target =
        CaptureTargetFor(identity.hardwareId, identity.deviceNumber, identity.instance);
    if (!StartCaptureThread(target, (GetKeyState(VK_CAPITAL) & 1) != 0)) {
        MessageBoxW(dialog,
                    L"Capture could not be started: the system refused to create the capture "
                    L"thread.\n\nClose other programs and try again.",
                    L"Error", MB_ICONWARNING);
        return false;
    }
    captureActive = true;
    scanCounter = 0;
    int found = FindTargetDevice(captureTarget);
    capturedDeviceSeen = found != 0;
    if (found != 0) {
        // The list may be older than a re-plug: rebuilt, it holds the number found now.
        TakeFoundDevice(dialog, found);
        LogLine(L"Capture started on " + RememberedDescription());
    } else {
        capturedDevice = 0;
        SelectDeviceNumber(dialog, 0);
        LogLine(L"Waiting for " + RememberedDescription() +
                L" to be connected; capture starts on it by itself.");
    }
    SetTimer(dialog, PresenceTimer, PresenceMilliseconds, nullptr);
    ShowCaptureState(dialog);
    SaveCaptureActive(true);
    return true;
}

// The port field as a port, or 0 after the refusal's message box.
uint16_t CheckedPort(HWND dialog) {
    wchar_t portText[PortTextCharacters] = {};
    GetDlgItemTextW(dialog, IDC_PORT, portText, PortTextCharacters);
    uint16_t port = PortFromText(portText);
    if (port == 0) {
        Refuse(dialog, L"Invalid port.");
    }
    return port;
}

}  // namespace

bool StartCapture(HWND dialog) {
    if (interceptionContext == nullptr) {
        MessageBoxW(dialog,
                    L"Interception driver not available.\n\nPlease reinstall the application and "
                    L"reboot.",
                    L"Driver Error", MB_ICONERROR);
        return false;
    }
    const DeviceEntry* entry = selectedDeviceEntry(dialog);
    if (entry == nullptr) {
        return Refuse(dialog, L"Please select a device.");
    }
    DeviceIdentity identity = IdentityInDeviceList(*entry);
    uint16_t port = CheckedPort(dialog);
    return port != 0 && ArmCapture(dialog, identity, port);
}

bool RestartRememberedCapture(HWND dialog) {
    if (captureActive.load() || interceptionContext == nullptr) {
        return false;
    }
    DeviceIdentity identity = rememberedDevice;
    int position = FindRememberedDevice(DeviceList, identity);
    if (position >= 0) {
        identity = IdentityOfEntry(DeviceList, static_cast<size_t>(position));
    }
    if (identity.hardwareId.empty()) {
        if (DeviceList.empty() || !HasIdentity(identity)) {
            // Nothing to recognise a device by: the user has to choose.
            return StartCapture(dialog);
        }
        // Saved by a version that kept only the number, and that number is empty now: which
        // device it was cannot be told, and guessing could capture the user's own keyboard.
        LogLine(L"Auto-restart: the saved device (number " +
                std::to_wstring(identity.deviceNumber) +
                L") is not connected and cannot be recognised; choose it and press Start.");
        SaveCaptureActive(false);
        return false;
    }
    uint16_t port = CheckedPort(dialog);
    return port != 0 && ArmCapture(dialog, identity, port);
}

void StopCapture(HWND dialog, bool record) {
    if (!captureActive.load()) {
        return;
    }
    captureActive = false;
    KillTimer(dialog, PresenceTimer);
    if (record) {
        SaveCaptureActive(false);
    }
    StopCaptureThread();
    capturedDevice = 0;
    LogLine(L"Capture stopped.");
    ShowCaptureState(dialog);
}

void CheckCapturedDevice(HWND dialog) {
    if (!captureActive.load()) {
        return;
    }
    int found = FindTargetDevice(captureTarget);
    if (found == capturedDevice) {
        return;
    }
    if (found == 0) {
        capturedDevice = 0;
        SelectDeviceNumber(dialog, 0);
        LogLine(L"Device disconnected: " + RememberedDescription() +
                L". Capture waits for it to return.");
    } else {
        bool resumed = capturedDeviceSeen;
        capturedDeviceSeen = true;
        TakeFoundDevice(dialog, found);
        LogLine((resumed ? L"Capture resumed on " : L"Capture started on ") +
                RememberedDescription());
    }
    ShowCaptureState(dialog);
}
