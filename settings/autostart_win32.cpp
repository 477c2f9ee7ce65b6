#include "settings/autostart.h"

#include <windows.h>

#include <string>

namespace {

const wchar_t RunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr DWORD CommandCharacters = 2048;

// A Run value of the machine (the 64-bit view, where the package writes) starts a Wendalux.exe.
bool MachineStartsWendalux() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, RunKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) !=
        ERROR_SUCCESS) {
        return false;
    }
    bool found = false;
    for (DWORD index = 0; !found; ++index) {
        wchar_t name[256] = {};
        DWORD nameSize = ARRAYSIZE(name);
        wchar_t command[CommandCharacters] = {};
        DWORD commandSize = sizeof command - sizeof(wchar_t);  // room for a missing NUL
        DWORD type = 0;
        LONG result = RegEnumValueW(key, index, name, &nameSize, nullptr, &type,
                                    reinterpret_cast<BYTE*>(command), &commandSize);
        if (result == ERROR_NO_MORE_ITEMS) {
            break;
        }
        found = result == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ) &&
                CommandStartsWendalux(command);
    }
    RegCloseKey(key);
    return found;
}

}  // namespace

void RegisterAutostart() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, RunKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) {
        return;
    }
    if (MachineStartsWendalux()) {
        RegDeleteValueW(key, L"Wendalux");
        RegCloseKey(key);
        return;
    }
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    // Quoted, so that a path with spaces still starts the program.
    std::wstring command = L"\"" + std::wstring(path) + L"\" --tray";
    RegSetValueExW(key, L"Wendalux", 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                   static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}
