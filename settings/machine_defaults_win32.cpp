#include "settings/machine_defaults.h"

#include "common/log_line.h"

#include <windows.h>
#include <aclapi.h>
#include <shlobj.h>

namespace {

constexpr DWORD TextCharacters = 1024;
const wchar_t PackageDefaultsKey[] = L"Software\\Marrowick\\Wendalux\\Defaults\\";

std::wstring DefaultsFilePath() {
    wchar_t programData[MAX_PATH] = {};
    if (SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, programData) !=
            S_OK ||
        programData[0] == L'\0') {
        return std::wstring();
    }
    return std::wstring(programData) + L"\\Wendalux\\defaults.ini";
}

bool IsThisUser(PSID sid) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return false;
    }
    union {
        TOKEN_USER user;
        BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } info = {};
    DWORD size = 0;
    bool same = GetTokenInformation(token, TokenUser, &info, sizeof info, &size) &&
                EqualSid(info.user.User.Sid, sid);
    CloseHandle(token);
    return same;
}

bool OwnerMayDecide(const std::wstring& path) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                              nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    bool trusted = IsWellKnownSid(owner, WinLocalSystemSid) ||
                   IsWellKnownSid(owner, WinBuiltinAdministratorsSid) || IsThisUser(owner);
    LocalFree(descriptor);
    return trusted;
}

// ProgramData lets every user create files and folders there, and a defaults.ini could name
// the keyboard of whoever logs on next as the scanner: it is read only when SYSTEM, the
// Administrators (as a deployment tool or an elevated administrator leaves it) or this user
// (who could set the same options in config.ini) own both the file and its folder, since the
// owner of a folder may let anyone change the files put into it later. Said once per run.
bool DefaultsFileMayDecide(const std::wstring& path) {
    bool trusted = OwnerMayDecide(path) && OwnerMayDecide(path.substr(0, path.rfind(L'\\')));
    static bool told = false;
    if (!trusted && !told) {
        told = true;
        LogLine(
            L"defaults.ini is not used: it or its folder belongs to another user, not to "
            L"SYSTEM or the Administrators.");
    }
    return trusted;
}

std::optional<StoredOption> FromFile(const wchar_t* section, const wchar_t* key) {
    std::wstring path = DefaultsFilePath();
    if (path.empty() || GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES ||
        !DefaultsFileMayDecide(path)) {
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
