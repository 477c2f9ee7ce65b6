#include "shell/main_dialog.h"

#include "capture/capture_control.h"
#include "capture/interception_driver.h"
#include "capture/scan_assembly.h"
#include "capture/scan_end.h"
#include "common/app_messages.h"
#include "common/dialog_post.h"
#include "common/log_line.h"
#include "devices/device_identity.h"
#include "devices/device_selector.h"
#include "forwarding/server_control.h"
#include "forwarding/tcp_server.h"
#include "resources/resource.h"
#include "settings/settings_files.h"
#include "shell/activity_log.h"
#include "shell/tray_icon.h"

#include <commctrl.h>

#include <string>

HBRUSH GreenBrush = nullptr;
HBRUSH RedBrush = nullptr;
HBRUSH OrangeBrush = nullptr;
HBRUSH BlueBrush = nullptr;

namespace {

void SetUpBrushes() {
    GreenBrush = CreateSolidBrush(RGB(0, 150, 0));
    RedBrush = CreateSolidBrush(RGB(200, 0, 0));
    OrangeBrush = CreateSolidBrush(RGB(200, 130, 0));
    BlueBrush = CreateSolidBrush(RGB(0, 90, 170));
}

void OpenDriver(HWND dialog) {
    interceptionContext = CreateInterceptionContext();
    if (interceptionContext == nullptr) {
        // At logon the driver may still be starting, and a box at every logon helps nobody.
        ReportDriverMissing(dialog, StartedAtLogon);
    } else {
        LogLine(L"Interception driver initialized.");
    }
}

void FillOptionControls(HWND dialog) {
    SetDlgItemTextW(dialog, IDC_PORT, std::to_wstring(tcpPort.load()).c_str());
    // The ids of the case buttons are not one run (Include Enter lies between), so each is set.
    LetterCase letters = letterCase.load();
    CheckDlgButton(dialog, IDC_CASE_UPPER, letters == LetterCase::Upper ? BST_CHECKED : 0);
    CheckDlgButton(dialog, IDC_CASE_LOWER, letters == LetterCase::Lower ? BST_CHECKED : 0);
    CheckDlgButton(dialog, IDC_CASE_AS_SCANNED, letters == LetterCase::AsScanned ? BST_CHECKED : 0);
    CheckDlgButton(dialog, IDC_INCLUDE_ENTER, includeEnter ? BST_CHECKED : BST_UNCHECKED);
    // In the order of ScanEnd.
    for (const wchar_t* end : {L"Enter (CR)", L"Tab (HT)", L"A pause in typing"}) {
        SendDlgItemMessageW(dialog, IDC_SCAN_END, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(end));
    }
    SendDlgItemMessageW(dialog, IDC_SCAN_END, CB_SETCURSEL, static_cast<WPARAM>(scanEnd.load()), 0);
    SetDlgItemTextW(dialog, IDC_PAUSE_MS, std::to_wstring(pauseMilliseconds.load()).c_str());
    SendDlgItemMessageW(dialog, IDC_PAUSE_MS, EM_LIMITTEXT, 5, 0);
    ShowPauseField(dialog);
    FillAcceptField(dialog);
    // Nothing is chosen for the user: the empty selector says what it wants.
    SendDlgItemMessageW(dialog, IDC_DEVICE_SELECTOR, CB_SETCUEBANNER, 0,
                        reinterpret_cast<LPARAM>(L"Choose the scanner"));
}

}  // namespace

void InitializeMainDialog(HWND dialog) {
    MainDialogHandle = dialog;
    // No button is the default: Enter in a field arrives as IDOK, never as Start/Stop's click.
    SendMessageW(dialog, DM_SETDEFID, IDOK, 0);
    InitializeLog(dialog);
    SetUpBrushes();
    OpenDriver(dialog);
    rememberedDevice = LoadSettings();
    fillDeviceSelector(dialog);
    FillOptionControls(dialog);
    AddTrayIcon(dialog);
    StartServer(dialog);
    // Also when elevated: a restarted shell's broadcast and a second copy's call get through.
    ChangeWindowMessageFilterEx(dialog, WM_SHOW_INSTANCE, MSGFLT_ALLOW, nullptr);
    ChangeWindowMessageFilterEx(dialog, WM_TASKBAR_CREATED, MSGFLT_ALLOW, nullptr);
    ApplyWindowDpi(dialog, DpiAtStart(dialog));
    WatchKeyboardArrivals(dialog);
    // Without the driver too: the restart waits for it.
    CaptureAtStart start = LoadCaptureAtStart();
    if (start != CaptureAtStart::Off) {
        PostMessageW(dialog, WM_APP_AUTO_RESTART, 0, 0);
        LogLine(start == CaptureAtStart::Resume
                    ? L"Auto-restart: capture was active on last shutdown"
                    : L"Auto-start: this computer's defaults start capture.");
    }
}

void ReleaseMainDialog() {
    for (HGDIOBJ* object :
         {reinterpret_cast<HGDIOBJ*>(&GreenBrush), reinterpret_cast<HGDIOBJ*>(&RedBrush),
          reinterpret_cast<HGDIOBJ*>(&OrangeBrush), reinterpret_cast<HGDIOBJ*>(&BlueBrush)}) {
        if (*object != nullptr) {
            DeleteObject(*object);
            *object = nullptr;
        }
    }
    ReleaseWindowDpiObjects();
    StopWatchingKeyboards();
    DestroyInterceptionContext();
}
