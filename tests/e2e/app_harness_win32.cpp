#include "e2e/app_harness.h"

#include "resources/resource.h"
#include "support/test_environment.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#ifndef WENDALUX_EXE
#error "WENDALUX_EXE names the program under test"
#endif

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// The build passes Unix paths; Wine shows the Unix root as drive Z:.
std::wstring FromUnixPath(const char* path) {
    std::wstring windows = L"Z:";
    for (const char* c = path; *c != '\0'; ++c) {
        windows.push_back(*c == '/' ? L'\\' : static_cast<wchar_t>(*c));
    }
    return windows;
}

std::wstring Widen(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

struct WindowSearch {
    DWORD process;
    const wchar_t* caption;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->process && WindowText(window) == search->caption) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

std::string Narrow(const std::wstring& text) {
    std::string narrow;
    for (wchar_t c : text) {
        narrow.push_back(c < 128 ? static_cast<char>(c) : '?');
    }
    return narrow;
}

std::wstring ProgramCopyPath(const wchar_t* folder) {
    return (fs::temp_directory_path() / folder / L"Wendalux.exe").wstring();
}

std::wstring ProgramCopyPath(bool withDriver) {
    return ProgramCopyPath(withDriver ? L"wendalux app" : L"wendalux no driver");
}

std::wstring PrepareAppFolder(bool withDriver) {
    fs::path program = ProgramCopyPath(withDriver);
    std::error_code ignored;
    fs::create_directories(program.parent_path(), ignored);
    // Copied once per test run: a running copy cannot be overwritten.
    // A benchmark may name another build of the program (its baseline) to drive instead.
    const char* other = std::getenv("WENDALUX_PROGRAM");
    std::wstring source = FromUnixPath(other != nullptr && *other != '\0' ? other : WENDALUX_EXE);
    fs::copy_file(source, program, fs::copy_options::skip_existing, ignored);
    if (withDriver) {
        fs::copy_file(FromUnixPath(WENDALUX_SIM_DLL), program.parent_path() / L"interception.dll",
                      fs::copy_options::skip_existing, ignored);
    }
    return program.parent_path().wstring();
}

std::wstring PrepareProgramCopy(const wchar_t* folder) {
    fs::path program = ProgramCopyPath(folder);
    std::error_code ignored;
    fs::create_directories(program.parent_path(), ignored);
    fs::copy_file(FromUnixPath(WENDALUX_EXE), program, fs::copy_options::overwrite_existing,
                  ignored);
    return program.wstring();
}

std::wstring SettingsFolderPath() {
    wchar_t appData[MAX_PATH] = {};
    GetEnvironmentVariableW(L"APPDATA", appData, MAX_PATH);
    return std::wstring(appData) + L"\\Wendalux";
}

void ResetUserState() {
    std::error_code ignored;
    fs::remove_all(SettingsFolderPath(), ignored);
    RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                       L"Wendalux");
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Marrowick\\Wendalux");
}

void WriteSettings(const std::string& configIni, const std::string& captureStateIni) {
    fs::create_directories(SettingsFolderPath());
    std::ofstream(fs::path(SettingsFolderPath()) / L"config.ini", std::ios::binary) << configIni;
    if (!captureStateIni.empty()) {
        std::ofstream(fs::path(SettingsFolderPath()) / L"capture_state.ini", std::ios::binary)
            << captureStateIni;
    }
}

std::string ReadSettingsFile(const wchar_t* name) {
    std::ifstream file(fs::path(SettingsFolderPath()) / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool Launch(App& app, const AppOptions& options) {
    std::wstring folder = PrepareAppFolder(options.withDriver);
    std::string portFile = TemporaryPath("e2e-sim-port");
    std::remove(portFile.c_str());
    SetEnvironmentVariableW(L"INTERCEPTION_SIM_DEVICES", Widen(options.devices).c_str());
    SetEnvironmentVariableW(L"INTERCEPTION_SIM_PORT", L"0");
    SetEnvironmentVariableW(L"INTERCEPTION_SIM_PORT_FILE", Widen(portFile).c_str());
    SetEnvironmentVariableW(L"INTERCEPTION_SIM_UNAVAILABLE",
                            options.driverUnavailable ? L"1" : L"0");
    SetEnvironmentVariableW(L"INTERCEPTION_SIM_FILTER_DELAY_MS",
                            std::to_wstring(options.filterDelayMs).c_str());
    SetEnvironmentVariableW(L"INTERCEPTION_SIM_REUSE_NUMBERS", options.reuseNumbers ? L"1" : L"0");
    SetEnvironmentVariableW(L"INTERCEPTION_SIM_ARRIVAL_UNFILTERED",
                            options.arrivalUnfiltered ? L"1" : L"0");
    SetEnvironmentVariableW(L"INTERCEPTION_SIM_UNAVAILABLE_CALLS",
                            std::to_wstring(options.unavailableCalls).c_str());
    std::wstring command = L"\"" + folder + L"\\Wendalux.exe\"";
    if (!options.arguments.empty()) {
        command += L" " + options.arguments;
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    app = App{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &startup, &app.process)) {
        return false;
    }
    if (options.withDriver && !options.driverUnavailable) {
        WaitUntil([&] { return !ReadWholeFile(portFile).empty(); }, 60s);
        app.simPort =
            static_cast<uint16_t>(std::strtoul(ReadWholeFile(portFile).c_str(), nullptr, 10));
    }
    return true;
}

bool LaunchAndFindWindow(App& app, const AppOptions& options) {
    if (!Launch(app, options)) {
        return false;
    }
    app.window = FindProcessWindow(app.process.dwProcessId, MainWindowCaption, 30s);
    // The window exists before its initialisation ends, and may answer sent messages during
    // it; a posted one waits for the message loop, which runs once the initialisation is done.
    return app.window != nullptr && RoundTrip(app);
}

int WaitForExit(App& app, std::chrono::milliseconds limit) {
    if (app.process.hProcess == nullptr) {
        return -1;
    }
    if (WaitForSingleObject(app.process.hProcess, static_cast<DWORD>(limit.count())) !=
        WAIT_OBJECT_0) {
        return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(app.process.hProcess, &code);
    return static_cast<int>(code);
}

void Kill(App& app) {
    ControlClose(app.sim);
    if (app.process.hProcess != nullptr) {
        if (WaitForSingleObject(app.process.hProcess, 0) != WAIT_OBJECT_0) {
            TerminateProcess(app.process.hProcess, 99);
            WaitForSingleObject(app.process.hProcess, 10000);
        }
        CloseHandle(app.process.hProcess);
        CloseHandle(app.process.hThread);
    }
    app = App{};
}

HWND FindProcessWindow(DWORD process, const wchar_t* caption, std::chrono::milliseconds limit) {
    WindowSearch search{process, caption, nullptr};
    WaitUntil(
        [&] {
            EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        limit);
    return search.found;
}

std::wstring WindowText(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) {
        return L"<no answer>";
    }
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, 5000, &copied);
    text.resize(copied);
    return text;
}

std::wstring ControlText(HWND dialog, int id) {
    return WindowText(GetDlgItem(dialog, id));
}

std::wstring LogText(const App& app) {
    return ControlText(app.window, IDC_LOG);
}

bool WaitForLog(const App& app, const std::wstring& fragment, std::chrono::milliseconds limit) {
    return WaitUntil([&] { return LogText(app).find(fragment) != std::wstring::npos; }, limit);
}

bool WaitForControlText(HWND dialog, int id, const std::wstring& text,
                        std::chrono::milliseconds limit) {
    return WaitUntil([&] { return ControlText(dialog, id) == text; }, limit);
}

void PostCommand(const App& app, int id, int notification) {
    PostMessageW(app.window, WM_COMMAND, MAKEWPARAM(id, notification), 0);
}

bool RoundTrip(const App& app) {
    // A sent message overtakes posted ones, so the marker is posted: it is handled after
    // everything posted before it. It sets the port field's modified flag, which neither the
    // program nor a test reads otherwise. A second pass covers what the window posted to
    // itself while handling those.
    HWND field = GetDlgItem(app.window, IDC_PORT);
    auto setModified = [field](BOOL modified) {
        DWORD_PTR result = 0;
        return SendMessageTimeoutW(field, EM_SETMODIFY, modified, 0, SMTO_NORMAL, 30000, &result) !=
               0;
    };
    for (int pass = 0; pass < 2; ++pass) {
        if (!setModified(FALSE) || !PostMessageW(field, EM_SETMODIFY, TRUE, 0)) {
            return false;
        }
        bool handled = WaitUntil(
            [field] {
                DWORD_PTR modified = 0;
                return IsWindow(field) == FALSE ||
                       (SendMessageTimeoutW(field, EM_GETMODIFY, 0, 0, SMTO_NORMAL, 5000,
                                            &modified) != 0 &&
                        modified != 0);
            },
            60s);
        if (!handled || IsWindow(field) == FALSE) {
            return false;
        }
    }
    return setModified(FALSE);
}

bool Answers(const App& app, std::chrono::milliseconds limit) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(app.window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG,
                               static_cast<UINT>(limit.count()), &result) != 0;
}

std::wstring MessageBoxText(HWND box) {
    return ControlText(box, 0xFFFF);
}

void DismissMessageBox(HWND box) {
    PostMessageW(box, WM_COMMAND, IDOK, 0);
}

std::string SimCommand(App& app, const std::string& line) {
    if (!ControlConnect(app.sim, app.simPort)) {
        return "no control channel";
    }
    return ControlCommand(app.sim, line);
}

std::vector<std::string> SimSystem(App& app) {
    if (!ControlConnect(app.sim, app.simPort)) {
        return {};
    }
    return ControlSystem(app.sim);
}

std::vector<std::string> SimSystemAtLeast(App& app, size_t count) {
    std::vector<std::string> seen;
    WaitUntil([&] {
        for (auto& line : SimSystem(app)) {
            seen.push_back(line);
        }
        return seen.size() >= count;
    });
    return seen;
}

bool SimStrokesTaken(App& app) {
    return WaitUntil(
        [&] { return SimCommand(app, "stats").find(" pending 0") != std::string::npos; });
}

void SetControlText(HWND dialog, int id, const std::wstring& text) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(GetDlgItem(dialog, id), WM_SETTEXT, 0,
                        reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG, 10000, &result);
}

void ClickButton(HWND dialog, int id) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(GetDlgItem(dialog, id), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 10000, &result);
}

void ChooseDevice(const App& app, int index) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(GetDlgItem(app.window, IDC_DEVICE_SELECTOR), CB_SETCURSEL,
                        static_cast<WPARAM>(index), 0, SMTO_ABORTIFHUNG, 10000, &result);
    PostCommand(app, IDC_DEVICE_SELECTOR, CBN_SELCHANGE);
}

std::vector<std::wstring> LogEntries(const App& app) {
    std::wstring text = LogText(app);
    std::vector<std::wstring> entries;
    size_t start = 0;
    for (size_t end; (end = text.find(L"\r\n", start)) != std::wstring::npos; start = end + 2) {
        std::wstring line = text.substr(start, end - start);
        bool stamped = line.size() >= 11 && line[0] == L'[' && line[3] == L':' && line[6] == L':' &&
                       line[9] == L']' && line[10] == L' ';
        entries.push_back(stamped ? line.substr(11) : line);
    }
    return entries;
}

std::string ConfigFor(int device, uint16_t port) {
    return "[Device]\r\nInterceptionId=" + std::to_string(device) +
           "\r\n[Tcp]\r\nPort=" + std::to_string(port) + "\r\nCase=upper\r\nIncludeEnter=1\r\n";
}
