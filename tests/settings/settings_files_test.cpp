#include "settings/settings_files.h"

#include "capture/scan_assembly.h"
#include "forwarding/tcp_server.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const std::wstring& path) {
    std::ifstream file(fs::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteFile(const std::wstring& path, const std::string& content) {
    std::ofstream file(fs::path(path), std::ios::binary | std::ios::trunc);
    file << content;
}

class SettingsFilesTest : public ::testing::Test {
protected:
    std::wstring folder;

    void SetUp() override {
        folder = SettingsFolder();
        ASSERT_FALSE(folder.empty());
        fs::remove_all(fs::path(folder));
        tcpPort = DefaultTcpPort;
        lowercaseOutput = false;
        includeEnter = true;
    }

    void TearDown() override {
        fs::remove_all(fs::path(folder));
        tcpPort = DefaultTcpPort;
        lowercaseOutput = false;
        includeEnter = true;
    }

    void WriteConfig(const std::string& content) { WriteFile(ConfigFilePath(), content); }
};

TEST_F(SettingsFilesTest, FolderIsUnderRoamingAppDataAndMadeByTheFirstPathCall) {
    EXPECT_NE(std::wstring::npos, folder.find(L"\\AppData\\Roaming\\Wendalux"));
    EXPECT_FALSE(fs::exists(fs::path(folder)));
    EXPECT_EQ(folder + L"\\config.ini", ConfigFilePath());
    EXPECT_TRUE(fs::is_directory(fs::path(folder)));
    EXPECT_EQ(folder + L"\\capture_state.ini", CaptureStateFilePath());
    EXPECT_FALSE(fs::exists(fs::path(ConfigFilePath())));
}

TEST_F(SettingsFilesTest, SaveWritesAllFourValuesInTheirSectionsAndOrder) {
    SaveSettings({L"", 0, 3});
    EXPECT_EQ(
        "[Device]\r\nInterceptionId=3\r\n[Tcp]\r\nPort=20296\r\nCase=upper\r\n"
        "IncludeEnter=1\r\n",
        ReadFile(ConfigFilePath()));
    tcpPort = 808;
    lowercaseOutput = true;
    includeEnter = false;
    SaveSettings({L"", 0, -1});
    EXPECT_EQ(
        "[Device]\r\nInterceptionId=-1\r\n[Tcp]\r\nPort=808\r\nCase=lower\r\n"
        "IncludeEnter=0\r\n",
        ReadFile(ConfigFilePath()));
}

TEST_F(SettingsFilesTest, CaptureStateIsItsOwnFile) {
    EXPECT_FALSE(LoadCaptureActive());
    SaveCaptureActive(true);
    EXPECT_EQ("[Capture]\r\nActive=1\r\n", ReadFile(CaptureStateFilePath()));
    EXPECT_TRUE(LoadCaptureActive());
    SaveCaptureActive(false);
    EXPECT_EQ("[Capture]\r\nActive=0\r\n", ReadFile(CaptureStateFilePath()));
    EXPECT_FALSE(LoadCaptureActive());
    EXPECT_FALSE(fs::exists(fs::path(ConfigFilePath())));
}

TEST_F(SettingsFilesTest, SavedValuesLoadBack) {
    tcpPort = 4242;
    lowercaseOutput = true;
    includeEnter = false;
    SaveSettings({L"HID\\VID_1234&PID_ABCD", 2, 7});
    tcpPort = 1;
    lowercaseOutput = false;
    includeEnter = true;
    DeviceIdentity loaded = LoadSettings();
    EXPECT_EQ(7, loaded.deviceNumber);
    EXPECT_EQ(L"HID\\VID_1234&PID_ABCD", loaded.hardwareId);
    EXPECT_EQ(2, loaded.instance);
    EXPECT_NE(std::string::npos,
              ReadFile(ConfigFilePath())
                  .find("InterceptionId=7\r\nHardwareId=HID\\VID_1234&PID_ABCD\r\nInstance=2\r\n"));
    EXPECT_EQ(4242, tcpPort.load());
    EXPECT_TRUE(lowercaseOutput);
    EXPECT_FALSE(includeEnter);
}

struct LoadCase {
    const char* content;
    int device;
    uint16_t port;
    bool lowercase;
    bool enter;
};

TEST_F(SettingsFilesTest, LoadedValuesFollowThePrivateProfileRules) {
    const LoadCase cases[] = {
        {"", 0, 20296, false, true},
        {"[Tcp]\r\nPort=808\r\n", 0, 808, false, true},
        {"[Device]\r\nInterceptionId=3\r\n[Tcp]\r\nCase=lower\r\nIncludeEnter=0\r\n", 3, 20296,
         true, false},
        {"[Tcp]\r\nCase=Lower\r\n", 0, 20296, false, true},
        {"[Tcp]\r\nCase=LOWER\r\n", 0, 20296, false, true},
        {"[tcp]\r\ncase=lower\r\n", 0, 20296, true, true},  // section and key names ignore case
        {"[Tcp]\r\nPort=0\r\n", 0, 0, false, true},
        {"[Tcp]\r\nPort=85832\r\n", 0, 20296, false, true},  // 65536 + 20296: low 16 bits
        {"[Tcp]\r\nPort=abc\r\n", 0, 0, false, true},
        {"[Tcp]\r\nPort=-1\r\n", 0, 65535, false, true},
        {"[Tcp]\r\nPort=808abc\r\n", 0, 808, false, true},
        {"[Tcp]\r\nIncludeEnter=yes\r\n", 0, 20296, false, false},
        {"[Device]\r\nInterceptionId=-4\r\n", -4, 20296, false, true},
    };
    for (const LoadCase& c : cases) {
        WriteConfig(c.content);
        tcpPort = 1;
        lowercaseOutput = !c.lowercase;
        includeEnter = !c.enter;
        EXPECT_EQ(c.device, LoadSettings().deviceNumber) << c.content;
        EXPECT_EQ(c.port, tcpPort.load()) << c.content;
        EXPECT_EQ(c.lowercase, lowercaseOutput) << c.content;
        EXPECT_EQ(c.enter, includeEnter) << c.content;
    }
}

TEST_F(SettingsFilesTest, HostileFilesCrashNothing) {
    // A port far past 32 bits, a case text longer than the read buffer, and binary garbage:
    // whatever the private-profile functions make of them, the program carries on.
    WriteConfig("[Tcp]\r\nPort=99999999999\r\nCase=" + std::string(10000, 'l') + "\r\n");
    LoadSettings();
    EXPECT_FALSE(lowercaseOutput);
    std::printf("Port=99999999999 loads as %u\n", tcpPort.load());

    std::string garbage;
    uint32_t seed = 12345;
    for (int k = 0; k < 65536; ++k) {
        seed = seed * 1103515245 + 12345;
        garbage.push_back(static_cast<char>(seed >> 16));
    }
    WriteConfig(garbage);
    EXPECT_EQ(0, LoadSettings().deviceNumber);
    WriteFile(CaptureStateFilePath(), garbage);
    LoadCaptureActive();
    SaveSettings({L"", 0, 2});
    SaveCaptureActive(true);
    EXPECT_TRUE(LoadCaptureActive());
}

}  // namespace
