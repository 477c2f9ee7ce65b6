#include "shell/main_dialog.h"

#include "capture/capture_control.h"
#include "capture/scan_assembly.h"
#include "devices/device_identity.h"
#include "devices/device_list.h"
#include "devices/device_selector.h"
#include "forwarding/server_control.h"
#include "resources/resource.h"
#include "settings/settings_files.h"
#include "shell/activity_log.h"
#include "shell/tray_icon.h"

namespace {

void OnStartStop(HWND dialog) {
    if (CaptureArmed()) {
        StopCapture(dialog, true);
    } else {
        StartCapture(dialog);
    }
}

void OnCaseOption(HWND dialog) {
    lowercaseOutput = IsDlgButtonChecked(dialog, IDC_CASE_LOWER) == BST_CHECKED;
    SaveSettingsForSelection(dialog);
}

void OnEnterOption(HWND dialog) {
    includeEnter = IsDlgButtonChecked(dialog, IDC_INCLUDE_ENTER) == BST_CHECKED;
    SaveSettingsForSelection(dialog);
}

// Typing a port puts it in force at once; the file is written once the field is left or the
// program quits, not at every key.
void SavePortIfChanged(HWND dialog) {
    if (PortChangedSinceSave()) {
        SaveSettingsForSelection(dialog);
    }
}

INT_PTR OnPortField(HWND dialog, WORD notification) {
    switch (notification) {
        case EN_CHANGE:
            OnPortFieldChanged(dialog);
            return TRUE;
        case EN_KILLFOCUS:
            SavePortIfChanged(dialog);
            return TRUE;
        default:
            return FALSE;
    }
}

void ShowAndRaise(HWND dialog) {
    ShowWindow(dialog, SW_SHOW);
    SetForegroundWindow(dialog);
}

// The only way out of the program: capture stops without clearing the saved flag, so it
// restarts at the next start.
void Quit(HWND dialog) {
    SavePortIfChanged(dialog);
    if (captureActive.load()) {
        StopCapture(dialog, false);
    }
    RemoveTrayIcon();
    EndDialog(dialog, 0);
    // A modeless dialog is not destroyed by EndDialog; destroying it runs the release of
    // fonts, brushes and the driver context.
    DestroyWindow(dialog);
    PostQuitMessage(0);
}

}  // namespace

void SaveSettingsForSelection(HWND dialog) {
    // The remembered device, whatever the selector shows after a Refresh; the selection only
    // while nothing is remembered yet.
    if (HasIdentity(rememberedDevice)) {
        SaveSettings(rememberedDevice);
        return;
    }
    const DeviceEntry* entry = selectedDeviceEntry(dialog);
    SaveSettings(entry != nullptr ? IdentityInDeviceList(*entry) : DeviceIdentity{});
}

INT_PTR HandleCommand(HWND dialog, WORD id, WORD notification) {
    switch (id) {
        case IDC_DEVICE_SELECTOR:
            if (notification != CBN_SELCHANGE) {
                return FALSE;
            }
            OnDeviceSelectionChange(dialog);
            return TRUE;
        case IDC_REFRESH:
            // The capture thread looks again too; where it finds the scanner arrives as its own
            // post and shows in the selector then.
            CheckCapturedDevice(dialog);
            fillDeviceSelector(dialog);
            return TRUE;
        case IDC_START_STOP:
            OnStartStop(dialog);
            return TRUE;
        case IDC_CASE_UPPER:
        case IDC_CASE_LOWER:
            OnCaseOption(dialog);
            return TRUE;
        case IDC_INCLUDE_ENTER:
            OnEnterOption(dialog);
            return TRUE;
        case IDC_PORT:
            return OnPortField(dialog, notification);
        case IDC_RESET:
            OnResetClicked();
            return TRUE;
        case IDC_MINIMIZE_TO_TRAY:
        case IDM_HIDE_WINDOW:
            ShowWindow(dialog, SW_HIDE);
            return TRUE;
        case IDC_CLEAR_LOG:
            ClearLog(dialog);
            return TRUE;
        case IDC_COPY_LOG:
            CopyLog(dialog);
            return TRUE;
        case IDC_LOG_TOGGLE:
            SetLogPanelVisible(dialog, !LogPanelVisible);
            return TRUE;
        case IDM_SHOW_WINDOW:
            ShowAndRaise(dialog);
            return TRUE;
        case IDM_QUIT:
        case IDCANCEL:
            Quit(dialog);
            return TRUE;
        default:
            return FALSE;
    }
}
