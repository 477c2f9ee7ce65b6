#include "shell/activity_log.h"

#include "common/log_line.h"
#include "resources/resource.h"

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

void MoveControl(HWND dialog, int id, int x, int y, int width, int height) {
    SetWindowPos(GetDlgItem(dialog, id), nullptr, x, y, width, height, SWP_NOZORDER);
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
    SetDlgItemTextW(dialog, IDC_LOG_TOGGLE, visible ? L"Hide Log <<" : L"Show Log >>");

    RECT client = {};
    GetClientRect(dialog, &client);
    int width = client.right;
    RECT anchor = {};
    GetWindowRect(GetDlgItem(dialog, visible ? IDC_LOG : IDC_LOG_TOGGLE), &anchor);
    POINT bottom = {anchor.left, anchor.bottom};
    ScreenToClient(dialog, &bottom);
    int b = bottom.y;
    MoveControl(dialog, IDC_FOOTER, 8, b + 10, width - 160, 24);
    MoveControl(dialog, IDC_MINIMIZE_TO_TRAY, width - 140, b + 8, 130, 28);

    RECT wanted = {0, 0, width, b + 56};
    AdjustWindowRectEx(&wanted, static_cast<DWORD>(GetWindowLongW(dialog, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongW(dialog, GWL_EXSTYLE)));
    RECT window = {};
    GetWindowRect(dialog, &window);
    SetWindowPos(dialog, nullptr, 0, 0, window.right - window.left, wanted.bottom - wanted.top,
                 SWP_NOMOVE | SWP_NOZORDER);
}
