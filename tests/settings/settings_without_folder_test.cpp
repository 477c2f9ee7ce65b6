// Runs in a Wine prefix of its own, whose roaming application-data folder is made
// undeterminable first.
#include "settings/settings_files.h"

#include "capture/scan_assembly.h"
#include "capture/scan_end.h"
#include "forwarding/tcp_server.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>

namespace {

void PointAppDataNowhere() {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_CURRENT_USER,
                            L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell "
                            L"Folders",
                            0, KEY_SET_VALUE, &key));
    const wchar_t nowhere[] = L"Q:\\no such drive\\Roaming";
    RegSetValueExW(key, L"AppData", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(nowhere),
                   sizeof nowhere);
    RegCloseKey(key);
}

TEST(SettingsWithoutFolder, NothingIsReadOrWrittenAndDefaultsHold) {
    ASSERT_NO_FATAL_FAILURE(PointAppDataNowhere());
    EXPECT_EQ(L"", SettingsFolder());
    EXPECT_EQ(L"", ConfigFilePath());
    EXPECT_EQ(L"", CaptureStateFilePath());

    SaveSettings({L"HID\\VID_1234&PID_ABCD", 1, 3});
    SaveCaptureActive(true);
    EXPECT_EQ(CaptureAtStart::Off, LoadCaptureAtStart());
    EXPECT_EQ(0, LoadSettings().deviceNumber);
    EXPECT_EQ(DefaultTcpPort, tcpPort.load());
    EXPECT_EQ(LetterCase::Upper, letterCase.load());
    EXPECT_TRUE(includeEnter);

    // A relative or empty file name would have sent the values into the Windows folder.
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    for (const wchar_t* name : {L"config.ini", L"capture_state.ini", L"win.ini"}) {
        std::filesystem::path path = std::filesystem::path(windows) / name;
        if (std::filesystem::exists(path)) {
            std::ifstream file(path);
            std::string content((std::istreambuf_iterator<char>(file)),
                                std::istreambuf_iterator<char>());
            EXPECT_EQ(std::string::npos, content.find("InterceptionId")) << path.string();
            EXPECT_EQ(std::string::npos, content.find("Active")) << path.string();
        }
    }
    EXPECT_FALSE(std::filesystem::exists(L"Q:\\no such drive"));
}

}  // namespace
