// Process entry: one copy per machine, the main dialog and its message loop, and the
// shut-down in a fixed order.
#include "capture/capture_thread.h"
#include "forwarding/socket_layer.h"
#include "forwarding/tcp_server.h"
#include "resources/resource.h"
#include "settings/autostart.h"
#include "settings/settings_files.h"
#include "shell/main_dialog.h"

#include <windows.h>
#include <commctrl.h>

#include <cwchar>

// In this order: the shell's message, then the one a second copy broadcasts.
const UINT WM_TASKBAR_CREATED = RegisterWindowMessageW(L"TaskbarCreated");
const UINT WM_SHOW_INSTANCE = RegisterWindowMessageW(L"Marrowick_WedgeKB_ShowInstance_2026");

namespace {

HANDLE SingleInstanceMutex = nullptr;

bool ShowAtStart(const wchar_t* commandLine) {
    bool tray = commandLine != nullptr && std::wcsstr(commandLine, L"--tray") != nullptr;
    std::wstring config = ConfigFilePath();
    bool firstRun = GetFileAttributesW(config.c_str()) == INVALID_FILE_ATTRIBUTES;
    return !tray && firstRun;
}

void RunMessageLoop(HWND dialog) {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageW(dialog, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

// No worker thread may outlive its thread object, whichever way the loop ended.
void StopWorkers() {
    StopCaptureThread();
    StopTcpServer();
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
    SingleInstanceMutex = CreateMutexW(nullptr, TRUE, L"Global\\Wendalux_Singleton");
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        AllowSetForegroundWindow(ASFW_ANY);
        PostMessageW(HWND_BROADCAST, WM_SHOW_INSTANCE, 0, 0);
        return 0;
    }
    InitCommonControls();
    SocketLibraryStart();
    RegisterAutostart();
    bool show = ShowAtStart(commandLine);
    HWND dialog = CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, MainDialog, 0);
    if (dialog == nullptr) {
        MessageBoxW(nullptr, L"Failed to create dialog.", L"Error", MB_ICONERROR);
        StopWorkers();
        return 1;
    }
    if (show) {
        ShowWindow(dialog, SW_SHOW);
    }
    RunMessageLoop(dialog);
    StopWorkers();
    SocketLibraryStop();
    CloseHandle(SingleInstanceMutex);
    return 0;
}
