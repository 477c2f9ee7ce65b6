#include "capture/capture_control.h"

#include "capture/capture_thread.h"
#include "capture/interception_driver.h"
#include "capture/scan_assembly.h"
#include "common/log_line.h"
#include "devices/device_identity.h"
#include "devices/device_list.h"
#include "devices/device_naming.h"
#include "devices/device_selector.h"
#include "forwarding/port_text.h"
#include "forwarding/server_control.h"
#include "forwarding/tcp_server.h"
#include "resources/resource.h"
#include "settings/settings_files.h"

#include <dbt.h>

#include <algorithm>

namespace {

constexpr int PortTextCharacters = 16;
// Often enough that a plugged-in scanner is taken within two seconds; each look is a
// hardware-id query per keyboard number here and in the capture thread, no name lookup.
constexpr UINT PresenceMilliseconds = 1000;

// Whether the device has been present since capture started (so its return is a resumption).
bool capturedDeviceSeen = false;
// An automatic restart waits for the keyboard filter driver to come up.
bool waitingForDriver = false;
// An automatic restart found no device to wait for: the user has to choose one.
bool restartRefused = false;
// Windows lists the awaited device but the driver has no number left for it.
bool deviceWithoutNumber = false;
// Presence looks since the last check of Windows' device list while waiting: that check
// enumerates every HID interface, so it runs every few seconds, not every second. A device
// just plugged in is listed before the driver numbers it, so only a second check in a row
// that finds it without a number says so.
int looksSinceNumberCheck = 0;
int checksWithoutNumber = 0;
constexpr int LooksPerNumberCheck = 5;
HDEVNOTIFY keyboardNotification = nullptr;

// GUID_DEVINTERFACE_KEYBOARD: every keyboard interface that comes and goes.
constexpr GUID KeyboardInterface = {
    0x884b96c3, 0x56ef, 0x11d1, {0xbc, 0x8c, 0x00, 0xa0, 0xc9, 0x14, 0x05, 0xdd}};

// The driver is installed apart from the program, so that is where to look.
constexpr const wchar_t* DriverMissingText =
    L"The keyboard filter driver (Interception) is not available.\n\nWendalux receives the "
    L"scanner's keys through it. It is installed apart from Wendalux: install it, restart "
    L"Windows, and try again.";

// The button's caption, the status text, and the status repainted in the colour of the state.
void ShowCaptureState(HWND dialog) {
    bool active = captureActive.load();
    SetDlgItemTextW(dialog, IDC_START_STOP, active || waitingForDriver ? L"&Stop" : L"&Start");
    SetDlgItemTextW(dialog, IDC_CAPTURE_STATUS,
                    !active               ? (waitingForDriver ? L"Waiting for driver"
                                             : restartRefused ? L"Choose a device"
                                                              : L"Disconnected")
                    : capturedDevice != 0 ? L"Connected"
                    : deviceWithoutNumber ? L"Restart Windows"
                                          : L"Waiting for device");
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

// The capture thread found the device at a number: it is remembered there for the rest of this
// run (the settings keep the instance the user chose), and the list is refreshed for its name.
void TakeFoundDevice(HWND dialog, int deviceNumber) {
    capturedDevice = deviceNumber;
    rememberedDevice.deviceNumber = deviceNumber;
    rememberedDevice.numberKnown = true;
    fillDeviceSelector(dialog);
}

// The thread's news of the scanner: at a number, or away (0).
void ShowScannerAt(HWND dialog, int found) {
    if (found == capturedDevice) {
        return;
    }
    if (capturedDevice != 0) {
        std::wstring name = RememberedDescription();
        capturedDevice = 0;
        fillDeviceSelector(dialog);
        LogLine(L"Device disconnected: " + name + L". Capture waits for it to return.");
    }
    if (found != 0) {
        deviceWithoutNumber = false;
        checksWithoutNumber = 0;
        bool resumed = capturedDeviceSeen;
        capturedDeviceSeen = true;
        TakeFoundDevice(dialog, found);
        LogLine((resumed ? L"Capture resumed on " : L"Capture started on ") +
                RememberedDescription());
    }
    ShowCaptureState(dialog);
}

// The automatic restart cannot know which device to capture: it records capture as stopped
// and shows the window, which says so.
bool RefuseRestart(HWND dialog, const std::wstring& reason) {
    LogLine(reason);
    SaveCaptureActive(false);
    restartRefused = true;
    ShowCaptureState(dialog);
    ShowWindow(dialog, SW_SHOW);
    return false;
}

// Among identical devices the number saved by an earlier run decides nothing: the place among
// them by number does, which a restart of Windows may have changed.
void NoteIdenticalDevices(const DeviceIdentity& identity) {
    int equals = 0;
    for (const DeviceEntry& entry : DeviceList) {
        equals += entry.hardwareId == identity.hardwareId ? 1 : 0;
    }
    if (identity.numberKnown || identity.hardwareId.empty()) {
        return;
    }
    if (equals == 1 && identity.instance > 1) {
        LogLine(
            L"Only one of the identical scanners is connected: capture takes it, though it "
            L"may be another one than the one chosen before.");
    }
    if (equals > 1) {
        int place = std::min(std::max(identity.instance, 1), equals);
        LogLine(std::to_wstring(equals) +
                L" identical scanners are connected. Identical scanners cannot be told apart "
                L"after a restart: capture takes number " +
                std::to_wstring(place) +
                L" of them by device number, as chosen before. If it is the wrong one, choose "
                L"the scanner again.");
    }
}

// While capture waits: Windows lists the device but no driver number reports it. Said once
// per waiting period, in the log and the status; true when that changed.
bool CheckDriverNumbers() {
    looksSinceNumberCheck = 0;
    checksWithoutNumber =
        DriverHasNoNumberFor(rememberedDevice.hardwareId) ? checksWithoutNumber + 1 : 0;
    bool withoutNumber = checksWithoutNumber >= 2;
    if (withoutNumber == deviceWithoutNumber) {
        return false;
    }
    if (withoutNumber) {
        LogLine(L"The keyboard driver has no free device number for " + RememberedDescription() +
                L": restart Windows to capture it.");
    }
    deviceWithoutNumber = withoutNumber;
    return true;
}

// Creates the driver context if there is none yet: the driver may come up after the program.
bool EnsureDriver(HWND dialog) {
    if (interceptionContext != nullptr) {
        return true;
    }
    interceptionContext = CreateInterceptionContext();
    if (interceptionContext == nullptr) {
        return false;
    }
    LogLine(L"Interception driver initialized.");
    fillDeviceSelector(dialog);
    return true;
}

// Starts the thread on the identity; the device may be present or not. The port has been
// checked.
bool ArmCapture(HWND dialog, const DeviceIdentity& identity, uint16_t port) {
    tcpPort = port;
    ApplyPortToServer(dialog);
    rememberedDevice = identity;
    ScanBufferClear();
    SaveSettings(rememberedDevice);
    NoteIdenticalDevices(identity);
    CaptureTarget target = CaptureTargetFor(
        identity.hardwareId, identity.numberKnown ? identity.deviceNumber : 0, identity.instance);
    target.twins = identity.twins;
    if (!StartCaptureThread(target, (GetKeyState(VK_CAPITAL) & 1) != 0)) {
        MessageBoxW(dialog,
                    L"Capture could not be started: the system refused to create the capture "
                    L"thread.\n\nClose other programs and try again.",
                    L"Error", MB_ICONWARNING);
        return false;
    }
    captureActive = true;
    waitingForDriver = false;
    restartRefused = false;
    deviceWithoutNumber = false;
    looksSinceNumberCheck = 0;
    checksWithoutNumber = 0;
    scanCounter = 0;
    int found = scannerAtStart;
    capturedDeviceSeen = found != 0;
    if (found != 0) {
        // The list may be older than a re-plug: rebuilt, it holds the number found now.
        TakeFoundDevice(dialog, found);
        LogLine(L"Capture started on " + RememberedDescription());
    } else {
        capturedDevice = 0;
        fillDeviceSelector(dialog);
        LogLine(L"Waiting for " + RememberedDescription() +
                L" to be connected; capture starts on it by itself.");
        CheckDriverNumbers();
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

void ReportDriverMissing(HWND dialog, bool quiet) {
    LogLine(L"WARNING: Interception driver unavailable.");
    if (!quiet) {
        MessageBoxW(dialog, DriverMissingText, L"Driver Error", MB_ICONERROR);
    }
}

bool StartCapture(HWND dialog) {
    if (!EnsureDriver(dialog)) {
        MessageBoxW(dialog, DriverMissingText, L"Driver Error", MB_ICONERROR);
        return false;
    }
    const DeviceEntry* entry = selectedDeviceEntry(dialog);
    bool absent = entry == nullptr && AbsentDeviceSelected(dialog);
    if (entry == nullptr && !absent) {
        return Refuse(dialog, L"Please select a device.");
    }
    // The remembered device keeps the instance the user chose; another entry is a new choice.
    bool remembered = absent || (!rememberedDevice.hardwareId.empty() &&
                                 FindRememberedDevice(DeviceList, rememberedDevice) ==
                                     static_cast<int>(entry - DeviceList.data()));
    DeviceIdentity identity = remembered ? rememberedDevice : IdentityInDeviceList(*entry);
    uint16_t port = CheckedPort(dialog);
    return port != 0 && ArmCapture(dialog, identity, port);
}

bool RestartRememberedCapture(HWND dialog) {
    if (captureActive.load()) {
        return false;
    }
    if (!EnsureDriver(dialog)) {
        // Capture stays recorded as active, and starts once the driver is there.
        if (!waitingForDriver) {
            waitingForDriver = true;
            LogLine(
                L"Auto-restart: the keyboard filter driver is not available yet; capture "
                L"starts when it is.");
            SetTimer(dialog, PresenceTimer, PresenceMilliseconds, nullptr);
            ShowCaptureState(dialog);
        }
        return false;
    }
    if (waitingForDriver) {
        waitingForDriver = false;
        KillTimer(dialog, PresenceTimer);
        ShowCaptureState(dialog);
    }
    DeviceIdentity identity = rememberedDevice;
    if (!HasIdentity(identity)) {
        // Lost or unreadable settings: any keyboard taken now could be the user's own.
        return RefuseRestart(dialog,
                             L"Auto-restart: no device is remembered (the settings are missing "
                             L"or could not be read), so capture was not started. Choose the "
                             L"scanner and press Start.");
    }
    if (identity.hardwareId.empty()) {
        int position = FindRememberedDevice(DeviceList, identity);
        if (position < 0) {
            // Saved by a version that kept only the number, and that number is empty now: which
            // device it was cannot be told, and guessing could capture the user's own keyboard.
            return RefuseRestart(dialog, L"Auto-restart: the saved device (number " +
                                             std::to_wstring(identity.deviceNumber) +
                                             L") is not connected and cannot be recognised; "
                                             L"choose it and press Start.");
        }
        identity = IdentityOfEntry(DeviceList, static_cast<size_t>(position));
    }
    uint16_t port = CheckedPort(dialog);
    return port != 0 && ArmCapture(dialog, identity, port);
}

void NoteDeviceChosen(HWND dialog) {
    if (restartRefused) {
        restartRefused = false;
        ShowCaptureState(dialog);
    }
}

bool CaptureArmed() {
    return captureActive.load() || waitingForDriver;
}

void StopCapture(HWND dialog, bool record) {
    if (waitingForDriver) {
        // The restart that waits for the driver is given up.
        waitingForDriver = false;
        KillTimer(dialog, PresenceTimer);
        if (record) {
            SaveCaptureActive(false);
        }
        LogLine(L"Capture stopped.");
        ShowCaptureState(dialog);
        return;
    }
    if (!captureActive.load()) {
        return;
    }
    KillTimer(dialog, PresenceTimer);
    if (record) {
        SaveCaptureActive(false);
    }
    StopCaptureThread();
    // Which identical devices are not the scanner stays known for the next start of this run.
    rememberedDevice.twins = twinsAtStop;
    // Scans whose Enter came before Stop are delivered; a half scan is no scan.
    ProcessKeyEvents();
    ScanBufferClear();
    captureActive = false;
    capturedDevice = 0;
    LogLine(L"Capture stopped.");
    ShowCaptureState(dialog);
}

void CheckCapturedDevice(HWND dialog) {
    if (waitingForDriver) {
        RestartRememberedCapture(dialog);
        return;
    }
    if (!captureActive.load()) {
        return;
    }
    RequestDeviceLook(LookCause::Tick);
    if (scannerPostLost.exchange(false)) {
        ShowScannerAt(dialog, scannerNumber.load());
    }
    if (capturedDevice == 0 && ++looksSinceNumberCheck >= LooksPerNumberCheck &&
        CheckDriverNumbers()) {
        ShowCaptureState(dialog);
    }
}

void OnScannerMoved(HWND dialog, WPARAM deviceNumber, LPARAM session) {
    // A post of a capture that has ended since is old news; a number out of range is no post
    // of the capture thread.
    if (captureActive.load() && static_cast<unsigned>(session) == captureSession.load() &&
        deviceNumber <= InterceptionMaxKeyboard) {
        ShowScannerAt(dialog, static_cast<int>(deviceNumber));
    }
}

void WatchKeyboardArrivals(HWND dialog) {
    DEV_BROADCAST_DEVICEINTERFACE_W filter = {};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = KeyboardInterface;
    keyboardNotification =
        RegisterDeviceNotificationW(dialog, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    if (keyboardNotification == nullptr) {
        LogLine(
            L"Keyboard arrivals are not announced to the program; it looks for them once a "
            L"second.");
    }
}

void StopWatchingKeyboards() {
    if (keyboardNotification != nullptr) {
        UnregisterDeviceNotification(keyboardNotification);
        keyboardNotification = nullptr;
    }
}

void OnDeviceChange(HWND dialog, WPARAM event, LPARAM data) {
    auto header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
    if ((event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) || header == nullptr ||
        header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE) {
        return;
    }
    if (!captureActive.load()) {
        // The selector shows what is connected, unless the user is looking at its list.
        if (SendDlgItemMessageW(dialog, IDC_DEVICE_SELECTOR, CB_GETDROPPEDSTATE, 0, 0) == 0) {
            fillDeviceSelector(dialog);
        }
        return;
    }
    // The driver numbers a new keyboard as it arrives; the filter is set on it again at once.
    // The capture thread posts what it finds.
    RequestDeviceLook(event == DBT_DEVICEARRIVAL ? LookCause::Arrival : LookCause::Removal);
}
