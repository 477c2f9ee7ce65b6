#include "settings/settings_files.h"

#include "capture/scan_assembly.h"
#include "forwarding/tcp_server.h"
#include "settings/settings_values.h"

#include <windows.h>
#include <shlobj.h>

namespace {

constexpr DWORD CaseBufferCharacters = 512;
// A hardware id is at most 512 characters with its NUL (the driver's 1024-byte reply).
constexpr DWORD HardwareIdCharacters = 513;

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
    if (path.empty()) {
        return;
    }
    const wchar_t* file = path.c_str();
    WritePrivateProfileStringW(L"Device", L"InterceptionId",
                               std::to_wstring(device.deviceNumber).c_str(), file);
    bool identified = !device.hardwareId.empty();
    WritePrivateProfileStringW(L"Device", L"HardwareId",
                               identified ? device.hardwareId.c_str() : nullptr, file);
    WritePrivateProfileStringW(L"Device", L"Instance",
                               identified ? std::to_wstring(device.instance).c_str() : nullptr,
                               file);
    WritePrivateProfileStringW(L"Tcp", L"Port", std::to_wstring(tcpPort.load()).c_str(), file);
    WritePrivateProfileStringW(L"Tcp", L"Case", lowercaseOutput ? L"lower" : L"upper", file);
    WritePrivateProfileStringW(L"Tcp", L"IncludeEnter", includeEnter ? L"1" : L"0", file);
}

void SaveCaptureActive(bool active) {
    std::wstring path = CaptureStateFilePath();
    if (!path.empty()) {
        WritePrivateProfileStringW(L"Capture", L"Active", active ? L"1" : L"0", path.c_str());
    }
}

DeviceIdentity LoadSettings() {
    DeviceIdentity device;
    std::wstring path = ConfigFilePath();
    if (path.empty()) {
        return device;
    }
    const wchar_t* file = path.c_str();
    device.deviceNumber =
        static_cast<int>(GetPrivateProfileIntW(L"Device", L"InterceptionId", 0, file));
    wchar_t hardwareId[HardwareIdCharacters] = {};
    GetPrivateProfileStringW(L"Device", L"HardwareId", L"", hardwareId, HardwareIdCharacters, file);
    device.hardwareId = hardwareId;
    device.instance = static_cast<int>(GetPrivateProfileIntW(L"Device", L"Instance", 1, file));
    UINT port = GetPrivateProfileIntW(L"Tcp", L"Port", DefaultTcpPort, file);
    tcpPort = PortFromStoredValue(port);
    wchar_t caseText[CaseBufferCharacters] = {};
    GetPrivateProfileStringW(L"Tcp", L"Case", L"upper", caseText, CaseBufferCharacters, file);
    lowercaseOutput = LowercaseFromStoredCase(caseText);
    includeEnter =
        IncludeEnterFromStoredValue(GetPrivateProfileIntW(L"Tcp", L"IncludeEnter", 1, file));
    return device;
}

bool LoadCaptureActive() {
    std::wstring path = CaptureStateFilePath();
    return !path.empty() && GetPrivateProfileIntW(L"Capture", L"Active", 0, path.c_str()) != 0;
}
