// Process entry: one copy per machine, the main dialog and its message loop, and the
// shut-down in a fixed order.
#include "capture/capture_thread.h"
#include "common/log_line.h"
#include "forwarding/socket_layer.h"
#include "forwarding/tcp_server.h"
#include "resources/resource.h"
#include "settings/autostart.h"
#include "settings/settings_files.h"
#include "shell/main_dialog.h"

#include <windows.h>
#include <commctrl.h>

#include <cwchar>
#include <string>

// In this order: the shell's message, then the one a second copy broadcasts.
bool StartedAtLogon = false;
const UINT WM_TASKBAR_CREATED = RegisterWindowMessageW(L"TaskbarCreated");
const UINT WM_SHOW_INSTANCE = RegisterWindowMessageW(L"Marrowick_WedgeKB_ShowInstance_2026");

namespace {

HANDLE SingleInstanceMutex = nullptr;
// Held beside the machine-wide mutex: it tells a copy of this session from another session's.
HANDLE SessionMutex = nullptr;
const wchar_t SessionMutexName[] = L"Local\\Wendalux_Session";

constexpr DWORD QuittingCopyWaitMilliseconds = 5000;
constexpr DWORD MutexRetryMilliseconds = 200;

// The main window of a running copy, shown or hidden, in this session.
bool RunningCopyHasWindow() {
    return FindWindowW(L"#32770", L"" MAIN_CAPTION) != nullptr;
}

bool RunningCopyInThisSession() {
    HANDLE session = OpenMutexW(SYNCHRONIZE, FALSE, SessionMutexName);
    if (session == nullptr) {
        return false;
    }
    CloseHandle(session);
    return true;
}

enum class Instance { Taken, RunningHere, RunningElsewhere };

// Whether this copy may run. Another copy holds the machine-wide mutex when it exists already,
// and also when it cannot even be opened: that is a copy of another user logged on to the same
// PC, whose mutex this user may not touch. A copy that is still quitting has no window any
// more: its mutex is waited for, briefly, so that a quick restart starts. A holder that shows
// no window in this session by then runs in another one.
Instance TakeSingleInstance() {
    DWORD waited = 0;
    while (true) {
        SingleInstanceMutex = CreateMutexW(nullptr, TRUE, L"Global\\Wendalux_Singleton");
        DWORD error = GetLastError();
        if (SingleInstanceMutex != nullptr && error != ERROR_ALREADY_EXISTS) {
            SessionMutex = CreateMutexW(nullptr, FALSE, SessionMutexName);
            return Instance::Taken;
        }
        bool here = RunningCopyHasWindow();
        if (here || waited >= QuittingCopyWaitMilliseconds) {
            if (SingleInstanceMutex != nullptr) {
                CloseHandle(SingleInstanceMutex);
                SingleInstanceMutex = nullptr;
            }
            // A copy of this session that is slow to start or to quit has no window either.
            return here || RunningCopyInThisSession() ? Instance::RunningHere
                                                      : Instance::RunningElsewhere;
        }
        if (SingleInstanceMutex != nullptr) {
            DWORD result = WaitForSingleObject(SingleInstanceMutex, MutexRetryMilliseconds);
            if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) {
                SessionMutex = CreateMutexW(nullptr, FALSE, SessionMutexName);
                return Instance::Taken;
            }
            CloseHandle(SingleInstanceMutex);
            SingleInstanceMutex = nullptr;
        } else {
            Sleep(MutexRetryMilliseconds);
        }
        waited += MutexRetryMilliseconds;
    }
}

// On a shared PC the scanner's strokes go to the copy of whoever started first, and this user
// would otherwise see nothing at all. Told at every start by hand; at logon only once, so that
// the box does not greet this user at every logon.
void TellOfCopyInAnotherSession() {
    const wchar_t key[] = L"Software\\Marrowick\\Wendalux";
    const wchar_t value[] = L"OtherSessionNoticeShown";
    DWORD shown = 0;
    DWORD size = sizeof shown;
    if (StartedAtLogon &&
        RegGetValueW(HKEY_CURRENT_USER, key, value, RRF_RT_REG_DWORD, nullptr, &shown, &size) ==
            ERROR_SUCCESS &&
        shown != 0) {
        return;
    }
    shown = 1;
    RegSetKeyValueW(HKEY_CURRENT_USER, key, value, REG_DWORD, &shown, sizeof shown);
    MessageBoxW(nullptr,
                L"Wendalux is already running in another user's session on this computer. Only "
                L"one copy can capture the scanner: its scans go to that copy.\n\n"
                L"To use Wendalux here, quit it in the other session (or sign that user out), "
                L"then start Wendalux again.",
                L"Wendalux", MB_ICONINFORMATION | MB_OK | MB_SETFOREGROUND);
}

// Windows Installer's Restart Manager closes the program to replace its files during an
// upgrade; this asks Windows to start it again afterwards, in the tray, so that capture
// resumes. After a reboot the Run value starts it.
void RegisterRestartAfterUpdate() {
    HRESULT result = RegisterApplicationRestart(L"--tray", RESTART_NO_REBOOT);
    LogLine(SUCCEEDED(result)
                ? std::wstring(L"Restart after an update: registered with Windows (--tray).")
                : L"Restart after an update could not be registered (error " +
                      std::to_wstring(static_cast<unsigned long>(result)) + L").");
}

// A config.ini that cannot be read is a first run too: the user has to choose again.
bool ShowAtStart() {
    return !StartedAtLogon && !ConfigFileUsable();
}

void RunMessageLoop(HWND dialog) {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        // A multi-line edit takes Esc for itself (and only closes the window); Esc quits from
        // every control, the log included.
        if (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE &&
            message.hwnd == GetDlgItem(dialog, IDC_LOG)) {
            PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
            continue;
        }
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
    StartedAtLogon = commandLine != nullptr && std::wcsstr(commandLine, L"--tray") != nullptr;
    Instance copy = TakeSingleInstance();
    if (copy == Instance::RunningElsewhere) {
        TellOfCopyInAnotherSession();
        return 0;
    }
    if (copy == Instance::RunningHere) {
        // A second start at logon (a Run value of the user's beside the machine's) shows
        // nothing; a start by hand brings the running window forward.
        if (!StartedAtLogon) {
            AllowSetForegroundWindow(ASFW_ANY);
            PostMessageW(HWND_BROADCAST, WM_SHOW_INSTANCE, 0, 0);
        }
        return 0;
    }
    // Only the copy that runs: another copy's save may be under way.
    RemoveStaleTemporaryFiles();
    InitCommonControls();
    SocketLibraryStart();
    RegisterAutostart();
    bool show = ShowAtStart();
    HWND dialog = CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, MainDialog, 0);
    if (dialog == nullptr) {
        MessageBoxW(nullptr, L"Failed to create dialog.", L"Error", MB_ICONERROR);
        StopWorkers();
        return 1;
    }
    RegisterRestartAfterUpdate();
    if (show) {
        ShowWindow(dialog, SW_SHOW);
    }
    RunMessageLoop(dialog);
    StopWorkers();
    SocketLibraryStop();
    // Released at once, so that a copy started while this one quits can start.
    ReleaseMutex(SingleInstanceMutex);
    CloseHandle(SingleInstanceMutex);
    if (SessionMutex != nullptr) {
        CloseHandle(SessionMutex);
    }
    return 0;
}
