#include "settings/settings_files.h"

#include "capture/scan_assembly.h"
#include "capture/scan_end.h"
#include "common/log_line.h"
#include "forwarding/accept_rule.h"
#include "forwarding/held_scans.h"
#include "forwarding/tcp_server.h"
#include "settings/machine_defaults.h"
#include "settings/settings_values.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <optional>

namespace {

constexpr DWORD TextBufferCharacters = 512;
// A hardware id is at most 512 characters with its NUL (the driver's 1024-byte reply).
constexpr DWORD HardwareIdCharacters = 513;
// Antivirus and indexers hold a file they saw change for a moment; the UI thread waits for
// them half a second at most.
constexpr int MoveAttempts = 10;
constexpr DWORD MoveRetryMilliseconds = 50;
const wchar_t TemporarySuffix[] = L".tmp";

// The port and pause config.ini holds, as far as this copy knows.
uint16_t savedPort = DefaultTcpPort;
int savedPause = DefaultPauseMilliseconds;

std::wstring NameOf(const std::wstring& path) {
    return path.substr(path.rfind(L'\\') + 1);
}

// A line break or other control character would end the value's line early and could add
// keys of its own.
bool FitsOnOneLine(const std::wstring& value) {
    return std::none_of(value.begin(), value.end(), [](wchar_t c) { return c < L' '; });
}

// What WritePrivateProfileStringW makes of a new file's text: the ANSI code page, with its
// default character for what the code page lacks.
std::string InAnsiCodePage(const std::wstring& text) {
    int size = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(std::max(size, 0)), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                        nullptr, nullptr);
    return bytes;
}

bool HoldsExactly(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    // One byte more than expected shows a longer file.
    std::string held(bytes.size() + 1, '\0');
    DWORD read = 0;
    bool same = ReadFile(file, held.data(), static_cast<DWORD>(held.size()), &read, nullptr) &&
                held.compare(0, read, bytes) == 0;
    CloseHandle(file);
    return same;
}

DWORD WriteFlushed(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return GetLastError();
    }
    DWORD written = 0;
    DWORD error = ERROR_SUCCESS;
    if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        !FlushFileBuffers(file)) {
        error = GetLastError();
    } else if (written != bytes.size()) {
        error = ERROR_DISK_FULL;
    }
    CloseHandle(file);
    return error;
}

// Windows refuses the move with a sharing violation, Wine with access denied, while another
// program has the file open.
DWORD MoveIntoPlace(const std::wstring& temporary, const std::wstring& path) {
    for (int attempt = 1;; ++attempt) {
        if (MoveFileExW(temporary.c_str(), path.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return ERROR_SUCCESS;
        }
        DWORD error = GetLastError();
        bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED;
        if (!held || attempt == MoveAttempts) {
            return error;
        }
        if (attempt == 1) {
            LogLine(NameOf(path) + L" is held by another program: waiting to save it...");
        }
        Sleep(MoveRetryMilliseconds);
    }
}

// True when the file holds the text afterwards.
bool WriteWhole(const std::wstring& path, const std::wstring& text) {
    std::string bytes = InAnsiCodePage(text);
    if (HoldsExactly(path, bytes)) {
        return true;
    }
    // Made read-only on purpose (settings locked by an administrator): no wait helps, and
    // the file is left as it is.
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        LogLine(NameOf(path) + L" is read-only: the change is not saved.");
        return false;
    }
    std::wstring temporary = path + TemporarySuffix;
    DWORD error = WriteFlushed(temporary, bytes);
    if (error == ERROR_SUCCESS) {
        error = MoveIntoPlace(temporary, path);
    }
    if (error == ERROR_SUCCESS) {
        return true;
    }
    DeleteFileW(temporary.c_str());
    LogLine(L"The settings could not be saved to " + NameOf(path) + L" (Windows error " +
            std::to_wstring(error) + L").");
    return false;
}

// In the order WritePrivateProfileStringW gave them to a new file, without blank lines.
std::wstring SettingsText(const DeviceIdentity& device, uint16_t port, int pause) {
    std::wstring text =
        L"[Device]\r\nInterceptionId=" + std::to_wstring(device.deviceNumber) + L"\r\n";
    if (!device.hardwareId.empty() && FitsOnOneLine(device.hardwareId)) {
        text += L"HardwareId=" + device.hardwareId + L"\r\nInstance=" +
                std::to_wstring(device.instance) + L"\r\n";
    }
    return text + L"[Tcp]\r\nPort=" + std::to_wstring(port) + L"\r\nCase=" +
           StoredLetterCase(letterCase.load()) + L"\r\nIncludeEnter=" +
           (includeEnter ? L"1" : L"0") + L"\r\nAccept=" + AcceptRuleText(acceptRule) +
           L"\r\nHoldScans=" + std::to_wstring(holdScans) + L"\r\nHoldSeconds=" +
           std::to_wstring(holdSeconds) + L"\r\n[Scan]\r\nEnd=" + StoredScanEnd(scanEnd.load()) +
           L"\r\nPauseMs=" + std::to_wstring(pause) + L"\r\n";
}

bool HasKey(const wchar_t* section, const wchar_t* key, const wchar_t* file) {
    // No line of a file gives back a value that starts with this control character.
    const wchar_t absent[] = L"\x01";
    wchar_t value[2] = {};
    GetPrivateProfileStringW(section, key, absent, value, 2, file);
    return value[0] != absent[0];
}

bool UsableAt(const std::wstring& path) {
    const wchar_t* file = path.c_str();
    return GetFileAttributesW(file) != INVALID_FILE_ATTRIBUTES &&
           HasKey(L"Device", L"InterceptionId", file) && HasKey(L"Tcp", L"Port", file) &&
           HasKey(L"Tcp", L"Case", file) && HasKey(L"Tcp", L"IncludeEnter", file);
}

void UseDefaults() {
    tcpPort = DefaultTcpPort;
    letterCase = LetterCase::Upper;
    includeEnter = true;
    scanEnd = ScanEnd::Enter;
    pauseMilliseconds = DefaultPauseMilliseconds;
    holdScans = 0;
    holdSeconds = DefaultHoldSeconds;
    acceptRule = AcceptRule{};
    savedPort = DefaultTcpPort;
    savedPause = DefaultPauseMilliseconds;
}

std::wstring ReadText(const wchar_t* section, const wchar_t* key, const wchar_t* fallback,
                      const wchar_t* file) {
    wchar_t text[TextBufferCharacters] = {};
    GetPrivateProfileStringW(section, key, fallback, text, TextBufferCharacters, file);
    return text;
}

// The user's own value (file is their usable config.ini, or null), else the machine's.
std::optional<StoredOption> ReadOption(const wchar_t* section, const wchar_t* key,
                                       const wchar_t* file) {
    if (file != nullptr && HasKey(section, key, file)) {
        return StoredOption{ReadText(section, key, L"", file), L"config.ini"};
    }
    return MachineDefault(section, key);
}

// config.ini has always read any word but "lower" and "keep" as upper case; a word the machine
// gives that is none of the three is a typo of an administrator's, and said.
void LoadLetterCase(const wchar_t* file) {
    auto option = ReadOption(L"Tcp", L"Case", file);
    if (!option) {
        return;
    }
    letterCase = LetterCaseFromStored(option->text);
    if (option->source != L"config.ini" && option->text != StoredLetterCase(letterCase.load())) {
        LogLine(option->source + L": Case=" + option->text +
                L" is not one of upper, lower or keep: letters are sent in upper case.");
    }
}

std::wstring WrongNumber(const StoredOption& option, const wchar_t* key, int lowest, int highest) {
    return option.source + L": " + key + L"=" + option.text + L" is not a whole number from " +
           std::to_wstring(lowest) + L" to " + std::to_wstring(highest);
}

// A whole number that files of older versions lack: one that is there and wrong is said in
// the log, and the default kept.
void LoadNumber(const wchar_t* section, const wchar_t* key, int lowest, int highest, int& value,
                const wchar_t* file) {
    auto option = ReadOption(section, key, file);
    if (!option) {
        return;
    }
    if (auto known = WholeNumberFromText(option->text, lowest, highest)) {
        value = *known;
    } else if (!option->text.empty()) {
        LogLine(WrongNumber(*option, key, lowest, highest) + L": " + std::to_wstring(value) +
                L" is used.");
    }
}

// Port, IncludeEnter and Instance: a user's file is read as every version has read it (its
// leading number, 0 for none); a machine's value must be a whole number in range, or it is
// said in the log and not used.
std::optional<unsigned int> LoadLegacyNumber(const wchar_t* section, const wchar_t* key, int lowest,
                                             int highest, const wchar_t* file) {
    if (file != nullptr && HasKey(section, key, file)) {
        return GetPrivateProfileIntW(section, key, 0, file);
    }
    auto option = MachineDefault(section, key);
    if (!option) {
        return std::nullopt;
    }
    if (auto known = WholeNumberFromText(option->text, lowest, highest)) {
        return static_cast<unsigned int>(*known);
    }
    LogLine(WrongNumber(*option, key, lowest, highest) + L": it is not used.");
    return std::nullopt;
}

// Who may connect. A value that cannot be read must not open the scans to the network.
void LoadAcceptRule(const wchar_t* file) {
    auto option = ReadOption(L"Tcp", L"Accept", file);
    if (!option) {
        return;
    }
    if (auto rule = ParseAcceptRule(option->text)) {
        acceptRule = *rule;
        return;
    }
    acceptRule = AcceptRule{};
    acceptRule.localOnly = true;
    LogLine(option->source + L": Accept=" + option->text +
            L" is not any, local or a list of IPv4 addresses: only programs on this computer "
            L"may connect (local).");
}

// The [Scan] options, which files of older versions lack: a value that is there and wrong is
// said in the log, and the default is used.
void LoadScanOptions(const wchar_t* file) {
    if (auto end = ReadOption(L"Scan", L"End", file)) {
        if (auto known = ScanEndFromStored(end->text)) {
            scanEnd = *known;
        } else {
            LogLine(end->source + L": End=" + end->text +
                    L" is not one of enter, tab or pause: scans end at Enter.");
        }
    }
    int pause = DefaultPauseMilliseconds;
    LoadNumber(L"Scan", L"PauseMs", MinPauseMilliseconds, MaxPauseMilliseconds, pause, file);
    pauseMilliseconds = pause;
}

// The user's device; for a user who has chosen none, the machine's, which names a hardware id
// and never a number: numbers differ from PC to PC and from boot to boot.
DeviceIdentity LoadDevice(const wchar_t* file) {
    DeviceIdentity device;
    if (file != nullptr) {
        device.deviceNumber =
            static_cast<int>(GetPrivateProfileIntW(L"Device", L"InterceptionId", 0, file));
        wchar_t hardwareId[HardwareIdCharacters] = {};
        GetPrivateProfileStringW(L"Device", L"HardwareId", L"", hardwareId, HardwareIdCharacters,
                                 file);
        device.hardwareId = hardwareId;
        device.instance = static_cast<int>(GetPrivateProfileIntW(L"Device", L"Instance", 1, file));
        if (HasIdentity(device)) {
            return device;
        }
    }
    auto id = MachineDefault(L"Device", L"HardwareId");
    if (!id || !FitsOnOneLine(id->text)) {
        return DeviceIdentity{};
    }
    device = DeviceIdentity{};
    device.hardwareId = id->text;
    auto instance = LoadLegacyNumber(L"Device", L"Instance", 1, InterceptionMaxKeyboard, nullptr);
    device.instance = instance ? static_cast<int>(*instance) : 1;
    return device;
}

}  // namespace

std::wstring SettingsFolder() {
    wchar_t appData[MAX_PATH] = {};
    // On failure the buffer may still hold a path that does not exist: never use it.
    if (SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData) != S_OK ||
        appData[0] == L'\0') {
        return std::wstring();
    }
    return std::wstring(appData) + L"\\Wendalux";
}

std::wstring ConfigFilePath() {
    std::wstring folder = SettingsFolder();
    if (folder.empty()) {
        return std::wstring();
    }
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder + L"\\config.ini";
}

std::wstring CaptureStateFilePath() {
    std::wstring config = ConfigFilePath();
    if (config.empty()) {
        return std::wstring();
    }
    size_t slash = config.rfind(L'\\');
    return (slash == std::wstring::npos ? config : config.substr(0, slash)) +
           L"\\capture_state.ini";
}

void SaveSettings(const DeviceIdentity& device) {
    std::wstring path = ConfigFilePath();
    uint16_t port = tcpPort.load();
    int pause = pauseMilliseconds.load();
    if (!path.empty() && WriteWhole(path, SettingsText(device, port, pause))) {
        savedPort = port;
        savedPause = pause;
    }
}

void SaveCaptureActive(bool active) {
    std::wstring path = CaptureStateFilePath();
    if (!path.empty()) {
        WriteWhole(path, std::wstring(L"[Capture]\r\nActive=") + (active ? L"1" : L"0") + L"\r\n");
    }
}

bool TypedOptionsChangedSinceSave() {
    return tcpPort.load() != savedPort || pauseMilliseconds.load() != savedPause;
}

void RemoveStaleTemporaryFiles() {
    std::wstring folder = SettingsFolder();
    if (folder.empty()) {
        return;
    }
    for (const wchar_t* name : {L"\\config.ini", L"\\capture_state.ini"}) {
        DeleteFileW((folder + name + TemporarySuffix).c_str());
    }
}

bool ConfigFileUsable() {
    std::wstring path = ConfigFilePath();
    return !path.empty() && UsableAt(path);
}

DeviceIdentity LoadSettings() {
    UseDefaults();
    std::wstring path = ConfigFilePath();
    const wchar_t* file = nullptr;
    if (!path.empty() && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
        if (UsableAt(path)) {
            file = path.c_str();
        } else {
            LogLine(
                L"config.ini could not be read as Wendalux settings (empty or cut short): it is "
                L"treated as missing; choose the scanner again.");
        }
    }
    DeviceIdentity device = LoadDevice(file);
    if (auto port = LoadLegacyNumber(L"Tcp", L"Port", 1, 65535, file)) {
        tcpPort = PortFromStoredValue(*port);
    }
    LoadLetterCase(file);
    if (auto enter = LoadLegacyNumber(L"Tcp", L"IncludeEnter", 0, 1, file)) {
        includeEnter = IncludeEnterFromStoredValue(*enter);
    }
    LoadAcceptRule(file);
    LoadNumber(L"Tcp", L"HoldScans", 0, MaxHoldScans, holdScans, file);
    LoadNumber(L"Tcp", L"HoldSeconds", 1, MaxHoldSeconds, holdSeconds, file);
    LoadScanOptions(file);
    // What is in force now counts as saved: a user who changes nothing keeps no copy of the
    // machine's defaults, which can then still change for them.
    savedPort = tcpPort.load();
    savedPause = pauseMilliseconds.load();
    return device;
}

CaptureAtStart LoadCaptureAtStart() {
    std::wstring path = CaptureStateFilePath();
    if (!path.empty() && HasKey(L"Capture", L"Active", path.c_str())) {
        return GetPrivateProfileIntW(L"Capture", L"Active", 0, path.c_str()) != 0
                   ? CaptureAtStart::Resume
                   : CaptureAtStart::Off;
    }
    auto active = MachineDefault(L"Capture", L"Active");
    return active && active->text == L"1" ? CaptureAtStart::ByDefaults : CaptureAtStart::Off;
}
