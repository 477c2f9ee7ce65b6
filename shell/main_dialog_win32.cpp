#include "shell/main_dialog.h"

#include "capture/capture_control.h"
#include "capture/scan_assembly.h"
#include "common/app_messages.h"
#include "common/log_line.h"
#include "forwarding/held_scans.h"
#include "forwarding/server_control.h"
#include "forwarding/tcp_server.h"
#include "resources/resource.h"
#include "shell/activity_log.h"
#include "shell/tray_icon.h"

#include <string>

namespace {

constexpr COLORREF White = RGB(255, 255, 255);
constexpr COLORREF Green = RGB(0, 150, 0);
constexpr COLORREF Red = RGB(200, 0, 0);
constexpr COLORREF Orange = RGB(200, 130, 0);
constexpr COLORREF Blue = RGB(0, 90, 170);

INT_PTR PaintStatus(HDC context, COLORREF background, HBRUSH brush) {
    SetTextColor(context, White);
    SetBkColor(context, background);
    return reinterpret_cast<INT_PTR>(brush);
}

// The two status fields follow the state variables at paint time.
INT_PTR OnControlColour(HWND dialog, WPARAM wParam, LPARAM lParam) {
    auto context = reinterpret_cast<HDC>(wParam);
    int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
    if (id == IDC_TCP_STATUS) {
        int status = tcpStatus.load();
        if (status == TcpConnected) {
            return PaintStatus(context, Green, GreenBrush);
        }
        return status == TcpListening ? PaintStatus(context, Orange, OrangeBrush)
                                      : PaintStatus(context, Red, RedBrush);
    }
    if (id == IDC_CAPTURE_STATUS) {
        if (!captureActive.load()) {
            return PaintStatus(context, Red, RedBrush);
        }
        // Capture runs but waits for its device to come back.
        return capturedDevice == 0 ? PaintStatus(context, Blue, BlueBrush)
                                   : PaintStatus(context, Green, GreenBrush);
    }
    return static_cast<INT_PTR>(DefWindowProcW(dialog, WM_CTLCOLORSTATIC, wParam, lParam));
}

void OnTcpStatus(HWND dialog, WPARAM status) {
    OnServerStatus(dialog, status);
    std::wstring text = status == TcpConnected   ? L"Connected"
                        : status == TcpListening ? L"Listening"
                                                 : L"Disconnected";
    if (size_t held = HeldScanCount()) {
        text += L" - " + std::to_wstring(held) + L" held";
    }
    SetDlgItemTextW(dialog, IDC_TCP_STATUS, text.c_str());
    InvalidateRect(GetDlgItem(dialog, IDC_TCP_STATUS), nullptr, TRUE);
}

}  // namespace

void ShowRunningInstance(HWND dialog) {
    ShowWindow(dialog, SW_SHOW);
    if (IsIconic(dialog)) {
        ShowWindow(dialog, SW_RESTORE);
    }
    DWORD foregroundThread = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
    DWORD ownThread = GetCurrentThreadId();
    if (foregroundThread == ownThread) {
        SetForegroundWindow(dialog);
    } else {
        // Joining the foreground thread's input lets this process take the foreground.
        AttachThreadInput(ownThread, foregroundThread, TRUE);
        BringWindowToTop(dialog);
        SetForegroundWindow(dialog);
        AttachThreadInput(ownThread, foregroundThread, FALSE);
    }
    SetActiveWindow(dialog);
    SetFocus(dialog);
}

INT_PTR CALLBACK MainDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    // Registered messages have no constant value, so they are tested before the switch.
    if (message == WM_TASKBAR_CREATED) {
        AddTrayIcon(dialog);
        return FALSE;
    }
    if (message == WM_SHOW_INSTANCE) {
        ShowRunningInstance(dialog);
        return FALSE;
    }
    switch (message) {
        case WM_INITDIALOG:
            InitializeMainDialog(dialog);
            return TRUE;
        case WM_COMMAND:
            return HandleCommand(dialog, LOWORD(wParam), HIWORD(wParam));
        case WM_TIMER:
            if (wParam == PresenceTimer) {
                // Also the safety net for a wake-up that could not be posted, and for key
                // events that wait without an Enter.
                ProcessKeyEvents();
                AppendQueuedLogLines(dialog);
                CheckCapturedDevice(dialog);
            } else if (wParam == ServerRetryTimer) {
                RetryServerStart(dialog);
            } else if (wParam == HeldScanTimer) {
                ExpireHeldScansNow(dialog);
            } else if (wParam == TrayRetryTimer) {
                RetryTrayIcon(dialog);
            }
            return TRUE;
        case WM_CLOSE:
            ShowWindow(dialog, SW_HIDE);
            return TRUE;
        case WM_ENDSESSION:
            // Log-off, shutdown, or an installer's Restart Manager closing the program to
            // replace or remove its files: quit as from the tray, so that capture restarts.
            if (wParam != FALSE) {
                HandleCommand(dialog, IDM_QUIT, 0);
            }
            return TRUE;
        case WM_DESTROY:
            ReleaseMainDialog();
            return TRUE;
        case WM_DEVICECHANGE:
            OnDeviceChange(dialog, wParam, lParam);
            return TRUE;
        case WM_POWERBROADCAST:
            // Either PC may have slept with the connection open: it is checked at once.
            if (wParam == PBT_APMRESUMEAUTOMATIC || wParam == PBT_APMRESUMESUSPEND) {
                LogLine(L"Resumed from sleep: the client connection is checked.");
                ProbeClientConnection();
            }
            return TRUE;
        case WM_CTLCOLORSTATIC:
            return OnControlColour(dialog, wParam, lParam);
        case WM_APP_TRAY:
            OnTrayMessage(dialog, wParam, lParam);
            return TRUE;
        case WM_APP_LOG:
            AppendQueuedLogLines(dialog);
            return TRUE;
        case WM_APP_TCP_STATUS:
            OnTcpStatus(dialog, wParam);
            return TRUE;
        case WM_APP_KEYS:
            ProcessKeyEvents();
            return TRUE;
        case WM_APP_SCANNER:
            OnScannerMoved(dialog, wParam, lParam);
            return TRUE;
        case WM_APP_AUTO_RESTART:
            RestartRememberedCapture(dialog);
            return TRUE;
        case WM_DPICHANGED:
            OnDpiChanged(dialog, wParam, reinterpret_cast<const RECT*>(lParam));
            // Not handled here: the dialog manager rescales the template's controls and font.
            return FALSE;
        case WM_APP_DPI_CHANGED:
            ApplyWindowDpi(dialog, static_cast<UINT>(wParam));
            return TRUE;
        default:
            return FALSE;
    }
}
