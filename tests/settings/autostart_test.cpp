#include "settings/autostart.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <string>

namespace {

// Started as a copy of itself with this switch, the program only registers and exits, so a
// test can see what another program path gives.
const bool probeRun = [] {
    if (std::wstring(GetCommandLineW()).find(L"--register-only") != std::wstring::npos) {
        RegisterAutostart();
        ExitProcess(0);
    }
    return false;
}();

const wchar_t* RunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::wstring ReadRunValue() {
    wchar_t data[1024] = {};
    DWORD size = sizeof data;
    DWORD type = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, RunKey, L"Wendalux", RRF_RT_ANY, &type, data, &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return L"<none>";
    }
    return data;
}

void DeleteRunValue() {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, RunKey, L"Wendalux");
}

std::wstring ModulePath() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

TEST(Autostart, ValueHoldsTheQuotedProgramPathAndTheTraySwitch) {
    DeleteRunValue();
    RegisterAutostart();
    EXPECT_EQ(L"\"" + ModulePath() + L"\" --tray", ReadRunValue());
    DeleteRunValue();
    EXPECT_EQ(L"<none>", ReadRunValue());
    RegisterAutostart();
    EXPECT_EQ(L"\"" + ModulePath() + L"\" --tray", ReadRunValue());
}

TEST(Autostart, PathWithSpacesIsQuotedAndAMovedProgramRewritesIt) {
    std::filesystem::path folder =
        std::filesystem::temp_directory_path() / L"Wendalux autostart test";
    std::filesystem::create_directories(folder);
    std::filesystem::path copy = folder / L"program copy.exe";
    std::filesystem::copy_file(ModulePath(), copy,
                               std::filesystem::copy_options::overwrite_existing);
    std::wstring command = L"\"" + copy.wstring() + L"\" --register-only";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &process));
    WaitForSingleObject(process.hProcess, 30000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_EQ(L"\"" + copy.wstring() + L"\" --tray", ReadRunValue());
    std::filesystem::remove_all(folder);
    RegisterAutostart();
    EXPECT_EQ(L"\"" + ModulePath() + L"\" --tray", ReadRunValue());
}

TEST(Autostart, AMachineWideValueForWendaluxReplacesTheUsersOwn) {
    HKEY machine = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(HKEY_LOCAL_MACHINE, RunKey, 0, nullptr, 0,
                              KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &machine, nullptr));
    auto setMachineValue = [machine](const std::wstring& command) {
        RegSetValueExW(machine, L"Scanner tool", 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(command.c_str()),
                       static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    };
    RegisterAutostart();
    ASSERT_NE(L"<none>", ReadRunValue());
    setMachineValue(L"\"C:\\Program Files\\Wendalux\\Wendalux.exe\" --tray");
    RegisterAutostart();
    EXPECT_EQ(L"<none>", ReadRunValue());
    setMachineValue(L"\"C:\\Program Files\\Other\\Other.exe\"");
    RegisterAutostart();
    EXPECT_EQ(L"\"" + ModulePath() + L"\" --tray", ReadRunValue());
    RegDeleteValueW(machine, L"Scanner tool");
    RegCloseKey(machine);
}

}  // namespace
