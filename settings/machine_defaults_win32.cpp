#include "settings/machine_defaults.h"

#include <windows.h>
#include <shlobj.h>

namespace {

constexpr DWORD TextCharacters = 1024;
const wchar_t PackageDefaultsKey[] = L"Software\\Marrowick\\Wendalux\\Defaults\\";

std::wstring DefaultsFilePath() {
    wchar_t programData[MAX_PATH] = {};
    if (SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT,
                         programData) != S_OK ||
        programData[0] == L'\0') {
        return std::wstring();
    }
    return std::wstring(programData) + L"\\Wendalux\\defaults.ini";
}

std::optional<StoredOption> FromFile(const wchar_t* section, const wchar_t* key) {
    std::wstring path = DefaultsFilePath();
    if (path.empty()) {
        return std::nullopt;
    }
    // No line of a file gives back a value that starts with this control character.
    const wchar_t absent[] = L"\x01";
    wchar_t text[TextCharacters] = {};
    GetPrivateProfileStringW(section, key, absent, text, TextCharacters, path.c_str());
    if (text[0] == absent[0]) {
        return std::nullopt;
    }
    return StoredOption{text, L"defaults.ini"};
}

std::optional<StoredOption> FromPackage(const wchar_t* section, const wchar_t* key) {
    std::wstring subkey = std::wstring(PackageDefaultsKey) + section;
    wchar_t text[TextCharacters] = {};
    DWORD size = sizeof text;
    // The 64-bit view, where a 64-bit package writes; RRF_RT_REG_SZ gives a terminated text.
    if (RegGetValueW(HKEY_LOCAL_MACHINE, subkey.c_str(), key, RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY,
                     nullptr, text, &size) != ERROR_SUCCESS ||
        text[0] == L'\0') {
        return std::nullopt;
    }
    return StoredOption{text, L"HKLM\\" + subkey};
}

}  // namespace

std::optional<StoredOption> MachineDefault(const wchar_t* section, const wchar_t* key) {
    if (auto value = FromFile(section, key)) {
        return value;
    }
    return FromPackage(section, key);
}
