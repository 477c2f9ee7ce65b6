#include "shell/main_dialog.h"

#include "common/app_messages.h"
#include "resources/resource.h"
#include "shell/activity_log.h"

namespace {

// Windows 10 calls, looked up at run time: Windows 8 and 8.1 have neither.
using GetDpiForWindowCall = UINT WINAPI(HWND);
using AdjustWindowRectExForDpiCall = BOOL WINAPI(RECT*, DWORD, BOOL, DWORD, UINT);
using GetSystemMetricsForDpiCall = int WINAPI(int, UINT);
using GetWindowDpiAwarenessContextCall = DPI_AWARENESS_CONTEXT WINAPI(HWND);
using AreDpiAwarenessContextsEqualCall = BOOL WINAPI(DPI_AWARENESS_CONTEXT, DPI_AWARENESS_CONTEXT);

constexpr int TitlePoints = 16;
constexpr int GroupBoxPoints = 9;

UINT WindowDpi = USER_DEFAULT_SCREEN_DPI;
HFONT TitleFont = nullptr;
HFONT GroupBoxFont = nullptr;
HBITMAP LogoBitmap = nullptr;
HBITMAP TransferBitmap = nullptr;

template <typename Function>
Function* User32Call(const char* name) {
    return reinterpret_cast<Function*>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

// Per-monitor V2 (Windows 10 1703 and later): the dialog manager rescales the template's controls
// and the dialog's font when the DPI changes. Per-monitor V1 leaves them as they are.
bool DialogManagerRescales(HWND dialog) {
    auto* contextOf = User32Call<GetWindowDpiAwarenessContextCall>("GetWindowDpiAwarenessContext");
    auto* same = User32Call<AreDpiAwarenessContextsEqualCall>("AreDpiAwarenessContextsEqual");
    return contextOf != nullptr && same != nullptr &&
           same(contextOf(dialog), DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
}

int SystemMetric(int index) {
    if (auto* forDpi = User32Call<GetSystemMetricsForDpiCall>("GetSystemMetricsForDpi")) {
        return forDpi(index, WindowDpi);
    }
    return GetSystemMetrics(index);
}

// The caption's and Alt+Tab's icons, picked from the icon file at the sizes for the DPI.
void SetUpWindowIcons(HWND dialog) {
    const int icons[][3] = {{ICON_SMALL, SM_CXSMICON, SM_CYSMICON},
                            {ICON_BIG, SM_CXICON, SM_CYICON}};
    for (const auto& icon : icons) {
        HANDLE image = LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON,
                                  SystemMetric(icon[1]), SystemMetric(icon[2]), LR_SHARED);
        if (image != nullptr) {
            SendMessageW(dialog, WM_SETICON, static_cast<WPARAM>(icon[0]),
                         reinterpret_cast<LPARAM>(image));
        }
    }
}

HFONT CreateBoldFont(int points) {
    return CreateFontW(-MulDiv(points, static_cast<int>(WindowDpi), 72), 0, 0, 0, FW_BOLD, FALSE,
                       FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                       CLEARTYPE_QUALITY, FF_SWISS | DEFAULT_PITCH, L"Segoe UI");
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

// The fonts are replaced after the controls let go of the old ones.
void SetUpFonts(HWND dialog) {
    HFONT oldTitle = TitleFont;
    HFONT oldGroupBox = GroupBoxFont;
    TitleFont = CreateBoldFont(TitlePoints);
    if (TitleFont != nullptr) {
        SendDlgItemMessageW(dialog, IDC_TITLE, WM_SETFONT, reinterpret_cast<WPARAM>(TitleFont),
                            TRUE);
    }
    GroupBoxFont = CreateBoldFont(GroupBoxPoints);
    if (GroupBoxFont != nullptr) {
        EnumChildWindows(dialog, ApplyGroupBoxFont, reinterpret_cast<LPARAM>(GroupBoxFont));
    }
    for (HFONT old : {oldTitle, oldGroupBox}) {
        if (old != nullptr) {
            DeleteObject(old);
        }
    }
}

// The bitmap resource drawn at the size given, its shape kept and centred on the dialog's
// face colour, smoothed rather than pixel-doubled.
HBITMAP ScaledBitmap(int id, int width, int height) {
    auto source = static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id),
                                                  IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
    if (source == nullptr || width < 1 || height < 1) {
        if (source != nullptr) {
            DeleteObject(source);
        }
        return nullptr;
    }
    BITMAP size = {};
    GetObjectW(source, sizeof size, &size);
    int drawnWidth = width;
    int drawnHeight = MulDiv(width, size.bmHeight, size.bmWidth);
    if (drawnHeight > height) {
        drawnHeight = height;
        drawnWidth = MulDiv(height, size.bmWidth, size.bmHeight);
    }

    HDC screen = GetDC(nullptr);
    HDC from = CreateCompatibleDC(screen);
    HDC to = CreateCompatibleDC(screen);
    HBITMAP scaled = CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(nullptr, screen);
    HGDIOBJ oldFrom = SelectObject(from, source);
    HGDIOBJ oldTo = SelectObject(to, scaled);
    RECT whole = {0, 0, width, height};
    FillRect(to, &whole, GetSysColorBrush(COLOR_3DFACE));
    SetStretchBltMode(to, HALFTONE);
    SetBrushOrgEx(to, 0, 0, nullptr);
    StretchBlt(to, (width - drawnWidth) / 2, (height - drawnHeight) / 2, drawnWidth, drawnHeight,
               from, 0, 0, size.bmWidth, size.bmHeight, SRCCOPY);
    SelectObject(from, oldFrom);
    SelectObject(to, oldTo);
    DeleteDC(from);
    DeleteDC(to);
    DeleteObject(source);
    return scaled;
}

// The control keeps the bitmap it is given; the one it held before is ours to delete.
void ShowBitmap(HWND dialog, int control, HBITMAP& held, HBITMAP bitmap) {
    if (bitmap == nullptr) {
        return;
    }
    SendDlgItemMessageW(dialog, control, STM_SETIMAGE, IMAGE_BITMAP,
                        reinterpret_cast<LPARAM>(bitmap));
    if (held != nullptr) {
        DeleteObject(held);
    }
    held = bitmap;
}

// The logo fills its control, which the dialog sizes in dialog units; the arrows are drawn at
// their own size, scaled to the DPI (the usb_plug and network pictures have no control).
void SetUpPictures(HWND dialog) {
    RECT logo = {};
    GetClientRect(GetDlgItem(dialog, IDC_LOGO), &logo);
    ShowBitmap(dialog, IDC_LOGO, LogoBitmap, ScaledBitmap(IDB_LOGO, logo.right, logo.bottom));
    auto transfer = static_cast<HBITMAP>(LoadImageW(
        GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_TRANSFER), IMAGE_BITMAP, 0, 0, 0));
    if (transfer == nullptr) {
        return;
    }
    BITMAP size = {};
    GetObjectW(transfer, sizeof size, &size);
    DeleteObject(transfer);
    int dpi = static_cast<int>(WindowDpi);
    ShowBitmap(dialog, IDC_TRANSFER_PICTURE, TransferBitmap,
               ScaledBitmap(IDB_TRANSFER, MulDiv(size.bmWidth, dpi, USER_DEFAULT_SCREEN_DPI),
                            MulDiv(size.bmHeight, dpi, USER_DEFAULT_SCREEN_DPI)));
}

}  // namespace

UINT DpiAtStart(HWND dialog) {
    if (auto* getDpiForWindow = User32Call<GetDpiForWindowCall>("GetDpiForWindow")) {
        if (UINT dpi = getDpiForWindow(dialog)) {
            return dpi;
        }
    }
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

void ApplyWindowDpi(HWND dialog, UINT dpi) {
    WindowDpi = dpi;
    SetUpWindowIcons(dialog);
    SetUpFonts(dialog);
    SetUpPictures(dialog);
    SetLogPanelVisible(dialog, LogPanelVisible);
}

void OnDpiChanged(HWND dialog, WPARAM dpi, const RECT* suggested) {
    // Without the rescaling the window keeps its size and the scale it opened with: sharp, if
    // small or large on the other monitor, rather than fonts and pictures that outgrow controls.
    if (!DialogManagerRescales(dialog)) {
        return;
    }
    SetWindowPos(dialog, nullptr, suggested->left, suggested->top,
                 suggested->right - suggested->left, suggested->bottom - suggested->top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    // Windows rescales the template's controls and font once this message is handled: what
    // depends on their new sizes waits until then.
    PostMessageW(dialog, WM_APP_DPI_CHANGED, LOWORD(dpi), 0);
}

int WindowHeightForClient(HWND dialog, int clientHeight) {
    RECT wanted = {0, 0, 0, clientHeight};
    auto style = static_cast<DWORD>(GetWindowLongW(dialog, GWL_STYLE));
    auto extendedStyle = static_cast<DWORD>(GetWindowLongW(dialog, GWL_EXSTYLE));
    auto* adjustForDpi = User32Call<AdjustWindowRectExForDpiCall>("AdjustWindowRectExForDpi");
    if (adjustForDpi == nullptr || !adjustForDpi(&wanted, style, FALSE, extendedStyle, WindowDpi)) {
        AdjustWindowRectEx(&wanted, style, FALSE, extendedStyle);
    }
    return wanted.bottom - wanted.top;
}

void ReleaseWindowDpiObjects() {
    for (HGDIOBJ* object :
         {reinterpret_cast<HGDIOBJ*>(&TitleFont), reinterpret_cast<HGDIOBJ*>(&GroupBoxFont),
          reinterpret_cast<HGDIOBJ*>(&LogoBitmap), reinterpret_cast<HGDIOBJ*>(&TransferBitmap)}) {
        if (*object != nullptr) {
            DeleteObject(*object);
            *object = nullptr;
        }
    }
}
