#include "shell/main_dialog.h"

#include "capture/capture_control.h"
#include "capture/scan_assembly.h"
#include "capture/scan_end.h"
#include "common/log_line.h"
#include "devices/device_identity.h"
#include "devices/device_list.h"
#include "devices/device_selector.h"
#include "forwarding/held_scans.h"
#include "forwarding/server_control.h"
#include "resources/resource.h"
#include "settings/settings_files.h"
#include "settings/settings_values.h"
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

// Typing a port or a pause puts it in force at once; the file is written once the field is
// left or the program quits, not at every key.
void SaveTypedOptionsIfChanged(HWND dialog) {
    if (TypedOptionsChangedSinceSave()) {
        SaveSettingsForSelection(dialog);
    }
}

// The capture thread reads the options at each key: a change applies from the next key on.
void OnCaseOption(HWND dialog) {
    LetterCase letters = LetterCase::Upper;
    if (IsDlgButtonChecked(dialog, IDC_CASE_LOWER) == BST_CHECKED) {
        letters = LetterCase::Lower;
    } else if (IsDlgButtonChecked(dialog, IDC_CASE_AS_SCANNED) == BST_CHECKED) {
        letters = LetterCase::AsScanned;
    }
    letterCase = letters;
    SaveSettingsForSelection(dialog);
}

void OnScanEndOption(HWND dialog) {
    LRESULT chosen = SendDlgItemMessageW(dialog, IDC_SCAN_END, CB_GETCURSEL, 0, 0);
    if (chosen < 0 || chosen > static_cast<LRESULT>(ScanEnd::Pause)) {
        return;
    }
    scanEnd = static_cast<ScanEnd>(chosen);
    ShowPauseField(dialog);
    SaveSettingsForSelection(dialog);
}

// A valid pause is in force as it is typed; leaving the field with anything else shows the
// pause in force again.
INT_PTR OnPauseField(HWND dialog, WORD notification) {
    wchar_t text[8] = {};
    switch (notification) {
        case EN_CHANGE:
            GetDlgItemTextW(dialog, IDC_PAUSE_MS, text, 8);
            if (auto pause = PauseFromText(text)) {
                pauseMilliseconds = *pause;
            }
            return TRUE;
        case EN_KILLFOCUS:
            GetDlgItemTextW(dialog, IDC_PAUSE_MS, text, 8);
            if (!PauseFromText(text)) {
                LogLine(L"The pause must be " + std::to_wstring(MinPauseMilliseconds) + L" to " +
                        std::to_wstring(MaxPauseMilliseconds) + L" ms: " +
                        std::to_wstring(pauseMilliseconds.load()) + L" ms is kept.");
                SetDlgItemTextW(dialog, IDC_PAUSE_MS,
                                std::to_wstring(pauseMilliseconds.load()).c_str());
            }
            SaveTypedOptionsIfChanged(dialog);
            return TRUE;
        default:
            return FALSE;
    }
}

void OnEnterOption(HWND dialog) {
    includeEnter = IsDlgButtonChecked(dialog, IDC_INCLUDE_ENTER) == BST_CHECKED;
    SaveSettingsForSelection(dialog);
}

INT_PTR OnPortField(HWND dialog, WORD notification) {
    switch (notification) {
        case EN_CHANGE:
            OnPortFieldChanged(dialog);
            return TRUE;
        case EN_KILLFOCUS:
            SaveTypedOptionsIfChanged(dialog);
            return TRUE;
        default:
            return FALSE;
    }
}

INT_PTR OnAcceptCommand(HWND dialog, WORD notification) {
    if (OnAcceptField(dialog, notification)) {
        SaveSettingsForSelection(dialog);
    }
    return TRUE;
}

// Enter arrives as IDOK, as no button is the default: in a field it puts what was typed in force
// as leaving the field does, and it never starts or stops capture. (A focused button takes Enter
// itself.)
INT_PTR OnEnterKey(HWND dialog) {
    HWND focus = GetFocus();
    HWND accept = GetDlgItem(dialog, IDC_ACCEPT);
    if (focus == accept || (focus != nullptr && GetParent(focus) == accept)) {
        return OnAcceptCommand(dialog, CBN_KILLFOCUS);
    }
    if (focus == GetDlgItem(dialog, IDC_PORT)) {
        return OnPortField(dialog, EN_KILLFOCUS);
    }
    if (focus == GetDlgItem(dialog, IDC_PAUSE_MS)) {
        return OnPauseField(dialog, EN_KILLFOCUS);
    }
    return TRUE;
}

void ShowAndRaise(HWND dialog) {
    ShowWindow(dialog, SW_SHOW);
    SetForegroundWindow(dialog);
}

// The only way out of the program: capture stops without clearing the saved flag, so it
// restarts at the next start.
void Quit(HWND dialog) {
    SaveTypedOptionsIfChanged(dialog);
    if (captureActive.load()) {
        StopCapture(dialog, false);
    }
    DropHeldScans();
    RemoveTrayIcon();
    EndDialog(dialog, 0);
    // A modeless dialog is not destroyed by EndDialog; destroying it runs the release of
    // fonts, brushes and the driver context.
    DestroyWindow(dialog);
    PostQuitMessage(0);
}

}  // namespace

void ShowPauseField(HWND dialog) {
    EnableWindow(GetDlgItem(dialog, IDC_PAUSE_MS), scanEnd.load() == ScanEnd::Pause);
}

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
        case IDC_CASE_AS_SCANNED:
            OnCaseOption(dialog);
            return TRUE;
        case IDC_SCAN_END:
            if (notification != CBN_SELCHANGE) {
                return FALSE;
            }
            OnScanEndOption(dialog);
            return TRUE;
        case IDC_PAUSE_MS:
            return OnPauseField(dialog, notification);
        case IDC_INCLUDE_ENTER:
            OnEnterOption(dialog);
            return TRUE;
        case IDC_PORT:
            return OnPortField(dialog, notification);
        case IDC_ACCEPT:
            return OnAcceptCommand(dialog, notification);
        case IDOK:
            return OnEnterKey(dialog);
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
