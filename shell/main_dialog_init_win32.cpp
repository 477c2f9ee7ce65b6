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
HFONT TitleFont = nullptr;
HFONT GroupBoxFont = nullptr;

namespace {

constexpr int FallbackLogoPixels = 67;

HFONT CreateBoldFont(int height) {
    return CreateFontW(height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                       FF_SWISS | DEFAULT_PITCH, L"Segoe UI");
}

BOOL CALLBACK ApplyGroupBoxFont(HWND child, LPARAM font) {
    wchar_t className[32] = {};
    GetClassNameW(child, className, 32);
    if (lstrcmpiW(className, L"Button") == 0 &&
        (GetWindowLongW(child, GWL_STYLE) & 0x0F) == BS_GROUPBOX) {
        SendMessageW(child, WM_SETFONT, static_cast<WPARAM>(font), TRUE);
    }
    return TRUE;
}

void SetUpIconsAndFonts(HWND dialog) {
    HINSTANCE module = GetModuleHandleW(nullptr);
    SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(LoadSmallAppIcon()));
    SendMessageW(dialog, WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(LoadIconW(module, MAKEINTRESOURCEW(IDI_APP))));
    GreenBrush = CreateSolidBrush(RGB(0, 150, 0));
    RedBrush = CreateSolidBrush(RGB(200, 0, 0));
    OrangeBrush = CreateSolidBrush(RGB(200, 130, 0));
    BlueBrush = CreateSolidBrush(RGB(0, 90, 170));
    TitleFont = CreateBoldFont(-28);
    if (TitleFont != nullptr) {
        SendDlgItemMessageW(dialog, IDC_TITLE, WM_SETFONT, reinterpret_cast<WPARAM>(TitleFont),
                            TRUE);
    }
    GroupBoxFont = CreateBoldFont(-17);
    if (GroupBoxFont != nullptr) {
        EnumChildWindows(dialog, ApplyGroupBoxFont, reinterpret_cast<LPARAM>(GroupBoxFont));
    }
}

HBITMAP LoadBitmapResource(int id) {
    return static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id),
                                           IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
}

void SetUpPictures(HWND dialog) {
    // The dialog has no controls 1040 and 1041: those two pictures show nowhere.
    const int pictures[][2] = {{IDB_USB_PLUG, IDC_USB_PICTURE},
                               {IDB_NETWORK, IDC_NETWORK_PICTURE},
                               {IDB_TRANSFER, IDC_TRANSFER_PICTURE}};
    for (const auto& picture : pictures) {
        if (HBITMAP bitmap = LoadBitmapResource(picture[0])) {
            SendDlgItemMessageW(dialog, picture[1], STM_SETIMAGE, IMAGE_BITMAP,
                                reinterpret_cast<LPARAM>(bitmap));
        }
    }
}

// The 256-pixel logo, scaled once to the logo control's size.
void SetUpLogo(HWND dialog) {
    HBITMAP logo = LoadBitmapResource(IDB_LOGO);
    if (logo == nullptr) {
        return;
    }
    RECT target = {};
    GetClientRect(GetDlgItem(dialog, IDC_LOGO), &target);
    int width = target.right - target.left < 1 ? FallbackLogoPixels : target.right - target.left;
    int height = target.bottom - target.top < 1 ? FallbackLogoPixels : target.bottom - target.top;
    BITMAP source = {};
    GetObjectW(logo, sizeof source, &source);

    HDC screen = GetDC(nullptr);
    HDC from = CreateCompatibleDC(screen);
    HDC to = CreateCompatibleDC(screen);
    HBITMAP scaled = CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(nullptr, screen);
    HGDIOBJ oldFrom = SelectObject(from, logo);
    HGDIOBJ oldTo = SelectObject(to, scaled);
    RECT whole = {0, 0, width, height};
    HBRUSH face = CreateSolidBrush(RGB(240, 240, 240));
    FillRect(to, &whole, face);
    DeleteObject(face);
    SetStretchBltMode(to, HALFTONE);
    SetBrushOrgEx(to, 0, 0, nullptr);
    StretchBlt(to, 0, 0, width, height, from, 0, 0, source.bmWidth, source.bmHeight, SRCCOPY);
    SelectObject(from, oldFrom);
    SelectObject(to, oldTo);
    DeleteDC(from);
    DeleteDC(to);
    DeleteObject(logo);
    SendDlgItemMessageW(dialog, IDC_LOGO, STM_SETIMAGE, IMAGE_BITMAP,
                        reinterpret_cast<LPARAM>(scaled));
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
    InitializeLog(dialog);
    SetUpIconsAndFonts(dialog);
    SetUpPictures(dialog);
    SetUpLogo(dialog);
    OpenDriver(dialog);
    rememberedDevice = LoadSettings();
    fillDeviceSelector(dialog);
    FillOptionControls(dialog);
    AddTrayIcon(dialog);
    StartServer(dialog);
    // Also when elevated: a restarted shell's broadcast and a second copy's call get through.
    ChangeWindowMessageFilterEx(dialog, WM_SHOW_INSTANCE, MSGFLT_ALLOW, nullptr);
    ChangeWindowMessageFilterEx(dialog, WM_TASKBAR_CREATED, MSGFLT_ALLOW, nullptr);
    SetLogPanelVisible(dialog, false);
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
          reinterpret_cast<HGDIOBJ*>(&OrangeBrush), reinterpret_cast<HGDIOBJ*>(&BlueBrush),
          reinterpret_cast<HGDIOBJ*>(&TitleFont), reinterpret_cast<HGDIOBJ*>(&GroupBoxFont)}) {
        if (*object != nullptr) {
            DeleteObject(*object);
            *object = nullptr;
        }
    }
    StopWatchingKeyboards();
    DestroyInterceptionContext();
}
