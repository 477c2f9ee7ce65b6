#include "capture/capture_control.h"

#include "capture/capture_thread.h"
#include "capture/interception_driver.h"
#include "capture/key_queue.h"
#include "capture/scan_assembly.h"
#include "devices/device_list.h"
#include "devices/device_selector.h"
#include "forwarding/port_text.h"
#include "forwarding/tcp_server.h"
#include "resources/resource.h"
#include "settings/settings_files.h"
#include "shell/log_line.h"

#include <system_error>

namespace {

constexpr int PortTextCharacters = 16;

// The button's caption, and the status repainted in the colour of the new state.
void ShowCaptureButton(HWND dialog, bool active) {
    SetDlgItemTextW(dialog, IDC_START_STOP, active ? L"Stop" : L"Start");
    InvalidateRect(GetDlgItem(dialog, IDC_CAPTURE_STATUS), nullptr, TRUE);
}

bool Refuse(HWND dialog, const wchar_t* text) {
    MessageBoxW(dialog, text, L"Error", MB_ICONWARNING);
    return false;
}

bool StartCaptureThread() {
    captureStopFlag = false;
    try {
        captureThread = std::thread(CaptureThreadMain);
    } catch (const std::system_error&) {
        return false;
    }
    return true;
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
    wchar_t portText[PortTextCharacters] = {};
    GetDlgItemTextW(dialog, IDC_PORT, portText, PortTextCharacters);
    uint16_t port = PortFromText(portText);
    if (port == 0) {
        return Refuse(dialog, L"Invalid port.");
    }
    tcpPort = port;

    lowercaseOutput = IsDlgButtonChecked(dialog, IDC_CASE_LOWER) == BST_CHECKED;
    includeEnter = IsDlgButtonChecked(dialog, IDC_INCLUDE_ENTER) == BST_CHECKED;
    capturedDevice = entry->deviceNumber;
    modifierState.shiftDown = false;
    modifierState.capsLock = (GetKeyState(VK_CAPITAL) & 1) != 0;
    KeyQueueClear();
    ScanBufferClear();
    SaveSettings(capturedDevice);
    if (!StartCaptureThread()) {
        capturedDevice = 0;
        MessageBoxW(dialog,
                    L"Capture could not be started: the system refused to create the capture "
                    L"thread.\n\nClose other programs and try again.",
                    L"Error", MB_ICONWARNING);
        return false;
    }
    captureActive = true;
    scanCounter = 0;
    SetDlgItemTextW(dialog, IDC_CAPTURE_STATUS, L"Connected");
    LogLine(L"Capture started on " + entry->description);
    ShowCaptureButton(dialog, true);
    SaveCaptureActive(true);
    return true;
}

void StopCapture(HWND dialog, bool record) {
    if (!captureActive.load()) {
        return;
    }
    captureActive = false;
    if (record) {
        SaveCaptureActive(false);
    }
    StopCaptureThread();
    SetDlgItemTextW(dialog, IDC_CAPTURE_STATUS, L"Disconnected");
    LogLine(L"Capture stopped.");
    ShowCaptureButton(dialog, false);
}
