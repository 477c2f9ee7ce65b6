#include "shell/activity_log.h"

#include "common/log_line.h"
#include "resources/resource.h"
#include "shell/main_dialog.h"

#include <algorithm>
#include <vector>

bool LogPanelVisible = false;

namespace {

constexpr LRESULT MaximumLines = 1000;
constexpr LRESULT LinesCut = 500;
// Text added per turn of the message loop, in one piece. The edit control lays out what it is
// given line by line (under Wine about 10 ms per thousand characters of a long scan), so a
// burst of long scans added at once would hold the window for seconds.
constexpr size_t CharactersPerTurn = 8000;

void ReplaceSelection(HWND edit, const wchar_t* text) {
    SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
}

// Drops the oldest display lines, 500 at a time, as many as it takes to come back within the
// limit, and puts a note in their place.
void CutOldestLines(HWND edit, LRESULT lines) {
    LRESULT excess = lines - MaximumLines;
    WPARAM cutLines = static_cast<WPARAM>((excess + LinesCut - 1) / LinesCut) * LinesCut;
    LRESULT cut = SendMessageW(edit, EM_LINEINDEX, cutLines, 0);
    if (cut <= 0) {
        return;
    }
    SendMessageW(edit, EM_SETSEL, 0, cut);
    ReplaceSelection(edit, L"[... log truncated to keep memory usage low ...]\r\n");
    // The newest line stays in view.
    int length = GetWindowTextLengthW(edit);
    SendMessageW(edit, EM_SETSEL, length, length);
    SendMessageW(edit, EM_SCROLLCARET, 0, 0);
}

// The log panel's rows, in dialog units: the layout follows the dialog's font and DPI.
constexpr int BottomMargin = 4;

int DialogUnitsDown(HWND dialog, int units) {
    RECT rect = {0, 0, 0, units};
    MapDialogRect(dialog, &rect);
    return rect.bottom;
}

// A window that grows past the bottom of its monitor's work area moves up.
void KeepInWorkArea(HWND dialog) {
    RECT window = {};
    GetWindowRect(dialog, &window);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoW(MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST), &monitor) ||
        window.bottom <= monitor.rcWork.bottom) {
        return;
    }
    LONG top = monitor.rcWork.bottom - (window.bottom - window.top);
    SetWindowPos(dialog, nullptr, window.left, top < monitor.rcWork.top ? monitor.rcWork.top : top,
                 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

void InitializeLog(HWND dialog) {
    SendDlgItemMessageW(dialog, IDC_LOG, EM_SETLIMITTEXT, 0, 0);
}

void AppendQueuedLogLines(HWND dialog) {
    std::wstring added;
    for (const std::wstring& line : TakeLogLines(CharactersPerTurn)) {
        added += line;
        added += L"\r\n";
    }
    if (added.empty()) {
        return;
    }
    HWND edit = GetDlgItem(dialog, IDC_LOG);
    int length = GetWindowTextLengthW(edit);
    SendMessageW(edit, EM_SETSEL, length, length);
    ReplaceSelection(edit, added.c_str());
    LRESULT lines = SendMessageW(edit, EM_GETLINECOUNT, 0, 0);
    if (lines > MaximumLines) {
        CutOldestLines(edit, lines);
    }
}

void ClearLog(HWND dialog) {
    SetDlgItemTextW(dialog, IDC_LOG, L"");
}

void CopyLog(HWND dialog) {
    HWND edit = GetDlgItem(dialog, IDC_LOG);
    int length = GetWindowTextLengthW(edit);
    if (length < 1) {
        return;
    }
    std::vector<wchar_t> text(static_cast<size_t>(length) + 1);
    GetWindowTextW(edit, text.data(), length + 1);
    if (!OpenClipboard(dialog)) {
        return;
    }
    EmptyClipboard();
    bool handedOver = false;
    if (HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, text.size() * sizeof(wchar_t))) {
        if (void* memory = GlobalLock(block)) {
            std::copy(text.begin(), text.end(), static_cast<wchar_t*>(memory));
            GlobalUnlock(block);
            handedOver = SetClipboardData(CF_UNICODETEXT, block) != nullptr;
        }
        if (!handedOver) {
            GlobalFree(block);
        }
    }
    CloseClipboard();
    if (handedOver) {
        LogLine(L"Log copied to clipboard.");
    }
}

void SetLogPanelVisible(HWND dialog, bool visible) {
    LogPanelVisible = visible;
    for (int id : {IDC_COPY_LOG, IDC_CLEAR_LOG, IDC_LOG}) {
        ShowWindow(GetDlgItem(dialog, id), visible ? SW_SHOW : SW_HIDE);
    }
    ShowWindow(GetDlgItem(dialog, IDC_LOG_SPARE), SW_HIDE);
    SetDlgItemTextW(dialog, IDC_LOG_TOGGLE, visible ? L"Hide L&og <<" : L"Show L&og >>");

    RECT anchor = {};
    GetWindowRect(GetDlgItem(dialog, visible ? IDC_LOG : IDC_LOG_TOGGLE), &anchor);
    POINT bottom = {anchor.left, anchor.bottom};
    ScreenToClient(dialog, &bottom);
    RECT window = {};
    GetWindowRect(dialog, &window);
    SetWindowPos(dialog, nullptr, 0, 0, window.right - window.left,
                 WindowHeightForClient(dialog, bottom.y + DialogUnitsDown(dialog, BottomMargin)),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    KeepInWorkArea(dialog);
}
