#include "shell/activity_log.h"

#include "resources/resource.h"
#include "shell/log_line.h"

#include <algorithm>
#include <vector>

bool LogPanelVisible = false;

namespace {

constexpr LRESULT MaximumLines = 1000;
constexpr WPARAM LinesCut = 500;

void ReplaceSelection(HWND edit, const wchar_t* text) {
    SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
}

// Drops the oldest 500 display lines and puts a note in their place.
void CutOldestLines(HWND edit) {
    LRESULT cut = SendMessageW(edit, EM_LINEINDEX, LinesCut, 0);
    if (cut <= 0) {
        return;
    }
    SendMessageW(edit, EM_SETSEL, 0, cut);
    ReplaceSelection(edit, L"");
    SendMessageW(edit, EM_SETSEL, 0, 0);
    ReplaceSelection(edit, L"[... log truncated to keep memory usage low ...]\r\n");
}

void MoveControl(HWND dialog, int id, int x, int y, int width, int height) {
    SetWindowPos(GetDlgItem(dialog, id), nullptr, x, y, width, height, SWP_NOZORDER);
}

}  // namespace

void InitializeLog(HWND dialog) {
    SendDlgItemMessageW(dialog, IDC_LOG, EM_SETLIMITTEXT, 0, 0);
}

void AppendQueuedLogLines(HWND dialog) {
    HWND edit = GetDlgItem(dialog, IDC_LOG);
    for (const std::wstring& line : TakeLogLines()) {
        if (SendMessageW(edit, EM_GETLINECOUNT, 0, 0) > MaximumLines) {
            CutOldestLines(edit);
        }
        int length = GetWindowTextLengthW(edit);
        SendMessageW(edit, EM_SETSEL, length, length);
        ReplaceSelection(edit, (line + L"\r\n").c_str());
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
