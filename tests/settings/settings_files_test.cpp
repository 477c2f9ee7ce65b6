#include "settings/settings_files.h"

#include "capture/scan_assembly.h"
#include "capture/scan_end.h"
#include "forwarding/accept_rule.h"
#include "forwarding/held_scans.h"
#include "forwarding/tcp_server.h"
#include "support/dialog_messages.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <filesystem>
#include <fstream>
#include <thread>

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
        letterCase = LetterCase::Upper;
        includeEnter = true;
        scanEnd = ScanEnd::Enter;
        pauseMilliseconds = DefaultPauseMilliseconds;
        acceptRule = AcceptRule{};
    }

    void TearDown() override {
        fs::remove_all(fs::path(folder));
        tcpPort = DefaultTcpPort;
        letterCase = LetterCase::Upper;
        includeEnter = true;
        scanEnd = ScanEnd::Enter;
        pauseMilliseconds = DefaultPauseMilliseconds;
        acceptRule = AcceptRule{};
    }

    void WriteConfig(const std::string& content) { WriteFile(ConfigFilePath(), content); }
};

// A file with the four values every version of the program wrote.
std::string Config(const std::string& id, const std::string& port, const std::string& letterCase,
                   const std::string& enter) {
    return "[Device]\r\nInterceptionId=" + id + "\r\n[Tcp]\r\nPort=" + port +
           "\r\nCase=" + letterCase + "\r\nIncludeEnter=" + enter + "\r\n";
}

// What this version saves: those four and the [Scan] options.
std::string Saved(const std::string& id, const std::string& port, const std::string& letterCase,
                  const std::string& enter, const std::string& scan = "enter\r\nPauseMs=100") {
    return Config(id, port, letterCase, enter) +
           "Accept=any\r\nHoldScans=0\r\nHoldSeconds=60\r\n[Scan]\r\nEnd=" + scan + "\r\n";
}

// Open without FILE_SHARE_DELETE, as an antivirus scanner may hold it.
HANDLE Hold(const std::wstring& path) {
    return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

TEST_F(SettingsFilesTest, FolderIsUnderRoamingAppDataAndMadeByTheFirstPathCall) {
    EXPECT_NE(std::wstring::npos, folder.find(L"\\AppData\\Roaming\\Wendalux"));
    EXPECT_FALSE(fs::exists(fs::path(folder)));
    EXPECT_EQ(folder + L"\\config.ini", ConfigFilePath());
    EXPECT_TRUE(fs::is_directory(fs::path(folder)));
    EXPECT_EQ(folder + L"\\capture_state.ini", CaptureStateFilePath());
    EXPECT_FALSE(fs::exists(fs::path(ConfigFilePath())));
}

TEST_F(SettingsFilesTest, SaveWritesEveryValueInItsSectionAndOrder) {
    SaveSettings({L"", 0, 3});
    EXPECT_EQ(
        "[Device]\r\nInterceptionId=3\r\n[Tcp]\r\nPort=20296\r\nCase=upper\r\n"
        "IncludeEnter=1\r\nAccept=any\r\nHoldScans=0\r\nHoldSeconds=60\r\n[Scan]\r\nEnd="
        "enter\r\nPauseMs=100\r\n",
        ReadFile(ConfigFilePath()));
    tcpPort = 808;
    letterCase = LetterCase::Lower;
    includeEnter = false;
    scanEnd = ScanEnd::Pause;
    pauseMilliseconds = 250;
    SaveSettings({L"", 0, -1});
    EXPECT_EQ(Saved("-1", "808", "lower", "0", "pause\r\nPauseMs=250"), ReadFile(ConfigFilePath()));
}

TEST_F(SettingsFilesTest, CaptureStateIsItsOwnFile) {
    EXPECT_EQ(CaptureAtStart::Off, LoadCaptureAtStart());
    SaveCaptureActive(true);
    EXPECT_EQ("[Capture]\r\nActive=1\r\n", ReadFile(CaptureStateFilePath()));
    EXPECT_EQ(CaptureAtStart::Resume, LoadCaptureAtStart());
    SaveCaptureActive(false);
    EXPECT_EQ("[Capture]\r\nActive=0\r\n", ReadFile(CaptureStateFilePath()));
    EXPECT_EQ(CaptureAtStart::Off, LoadCaptureAtStart());
    EXPECT_FALSE(fs::exists(fs::path(ConfigFilePath())));
}

TEST_F(SettingsFilesTest, SavedValuesLoadBack) {
    tcpPort = 4242;
    letterCase = LetterCase::AsScanned;
    includeEnter = false;
    scanEnd = ScanEnd::Tab;
    pauseMilliseconds = 300;
    holdScans = 25;
    holdSeconds = 90;
    acceptRule.localOnly = true;
    SaveSettings({L"HID\\VID_1234&PID_ABCD", 2, 7});
    holdScans = 0;
    holdSeconds = 1;
    acceptRule = AcceptRule{};
    tcpPort = 1;
    letterCase = LetterCase::Upper;
    includeEnter = true;
    scanEnd = ScanEnd::Enter;
    pauseMilliseconds = 20;
    DeviceIdentity loaded = LoadSettings();
    EXPECT_EQ(7, loaded.deviceNumber);
    EXPECT_EQ(L"HID\\VID_1234&PID_ABCD", loaded.hardwareId);
    EXPECT_EQ(2, loaded.instance);
    EXPECT_EQ(
        "[Device]\r\nInterceptionId=7\r\nHardwareId=HID\\VID_1234&PID_ABCD\r\nInstance=2\r\n"
        "[Tcp]\r\nPort=4242\r\nCase=keep\r\nIncludeEnter=0\r\nAccept=local\r\nHoldScans=25\r\n"
        "HoldSeconds=90\r\n[Scan]\r\nEnd=tab\r\nPauseMs=300\r\n",
        ReadFile(ConfigFilePath()));
    EXPECT_EQ(4242, tcpPort.load());
    EXPECT_EQ(LetterCase::AsScanned, letterCase.load());
    EXPECT_FALSE(includeEnter);
    EXPECT_EQ(ScanEnd::Tab, scanEnd.load());
    EXPECT_EQ(300, pauseMilliseconds.load());
    EXPECT_EQ(25, holdScans);
    EXPECT_EQ(90, holdSeconds);
    EXPECT_TRUE(acceptRule.localOnly);
}

struct LoadCase {
    std::string content;
    int device;
    uint16_t port;
    LetterCase letters;
    bool enter;
};

TEST_F(SettingsFilesTest, LoadedValuesFollowThePrivateProfileRules) {
    using enum LetterCase;
    const LoadCase cases[] = {
        {Config("3", "808", "lower", "0"), 3, 808, Lower, false},
        {Config("0", "20296", "Lower", "1"), 0, 20296, Upper, true},
        {Config("0", "20296", "LOWER", "1"), 0, 20296, Upper, true},
        // section and key names ignore case
        {"[device]\r\ninterceptionid=2\r\n[tcp]\r\nport=9\r\ncase=lower\r\nincludeenter=1\r\n", 2,
         9, Lower, true},
        {Config("0", "0", "upper", "1"), 0, 0, Upper, true},
        {Config("0", "85832", "upper", "1"), 0, 20296, Upper, true},  // 65536 + 20296: low 16 bits
        {Config("0", "abc", "upper", "1"), 0, 0, Upper, true},
        {Config("0", "-1", "upper", "1"), 0, 65535, Upper, true},
        {Config("0", "808abc", "upper", "1"), 0, 808, Upper, true},
        {Config("0", "20296", "upper", "yes"), 0, 20296, Upper, false},
        {Config("0", "20296", "keep", "1"), 0, 20296, AsScanned, true},
        {Config("-4", "20296", "upper", "1"), -4, 20296, Upper, true},
    };
    for (const LoadCase& c : cases) {
        WriteConfig(c.content);
        tcpPort = 1;
        letterCase = c.letters == LetterCase::Upper ? LetterCase::Lower : LetterCase::Upper;
        includeEnter = !c.enter;
        EXPECT_TRUE(ConfigFileUsable()) << c.content;
        EXPECT_EQ(c.device, LoadSettings().deviceNumber) << c.content;
        EXPECT_EQ(c.port, tcpPort.load()) << c.content;
        EXPECT_EQ(c.letters, letterCase.load()) << c.content;
        EXPECT_EQ(c.enter, includeEnter) << c.content;
    }
}

TEST_F(SettingsFilesTest, UnreadableConfigCountsAsMissingAndIsLogged) {
    const std::string full =
        "[Device]\r\nInterceptionId=2\r\nHardwareId=HID\\VID_1234&PID_ABCD\r\n"
        "Instance=1\r\n[Tcp]\r\nPort=808\r\nCase=lower\r\nIncludeEnter=0\r\n";
    const std::string cases[] = {
        "",
        full.substr(0, full.find("PID_")),  // cut inside the HardwareId line
        full.substr(full.find("[Tcp]")),    // no Device section
        full.substr(0, full.find("IncludeEnter")),
        std::string(4096, '\0'),
    };
    StartCollectingDialogMessages();
    for (const std::string& content : cases) {
        WriteConfig(content);
        tcpPort = 1;
        letterCase = LetterCase::Lower;
        includeEnter = false;
        EXPECT_FALSE(ConfigFileUsable()) << content;
        DeviceIdentity loaded = LoadSettings();
        EXPECT_EQ(0, loaded.deviceNumber) << content;
        EXPECT_EQ(L"", loaded.hardwareId) << content;
        EXPECT_EQ(DefaultTcpPort, tcpPort.load()) << content;
        EXPECT_EQ(LetterCase::Upper, letterCase.load()) << content;
        EXPECT_TRUE(includeEnter) << content;
    }
    auto logged = LoggedTexts();
    ASSERT_EQ(std::size(cases), logged.size());
    EXPECT_NE(std::wstring::npos, logged.front().find(L"treated as missing"));
    fs::remove(fs::path(ConfigFilePath()));
    EXPECT_FALSE(ConfigFileUsable());
    LoadSettings();
    EXPECT_EQ(std::size(cases), LoggedTexts().size());  // a first run is no fault
    StopCollectingDialogMessages();
}

TEST_F(SettingsFilesTest, FilesOfTheOlderProgramLoad) {
    // Written as the older program did, key by key, with and without the device's id.
    std::wstring path = ConfigFilePath();
    const wchar_t* file = path.c_str();
    for (bool identified : {false, true}) {
        fs::remove(fs::path(path));
        WritePrivateProfileStringW(L"Device", L"InterceptionId", L"4", file);
        if (identified) {
            WritePrivateProfileStringW(L"Device", L"HardwareId", L"HID\\VID_1234", file);
            WritePrivateProfileStringW(L"Device", L"Instance", L"2", file);
        }
        WritePrivateProfileStringW(L"Tcp", L"Port", L"808", file);
        WritePrivateProfileStringW(L"Tcp", L"Case", L"lower", file);
        WritePrivateProfileStringW(L"Tcp", L"IncludeEnter", L"0", file);
        EXPECT_TRUE(ConfigFileUsable());
        DeviceIdentity loaded = LoadSettings();
        EXPECT_EQ(4, loaded.deviceNumber);
        EXPECT_EQ(identified ? L"HID\\VID_1234" : L"", loaded.hardwareId);
        EXPECT_EQ(808, tcpPort.load());
        // The same values saved again give the same bytes, and the [Scan] options after them.
        std::string before = ReadFile(path);
        SaveSettings(loaded);
        EXPECT_EQ(before +
                      "Accept=any\r\nHoldScans=0\r\nHoldSeconds=60\r\n[Scan]\r\nEnd="
                      "enter\r\nPauseMs=100\r\n",
                  ReadFile(path));
    }
}

TEST_F(SettingsFilesTest, HostileFilesCrashNothing) {
    // A port far past 32 bits, a case text longer than the read buffer, and binary garbage:
    // whatever the private-profile functions make of them, the program carries on.
    WriteConfig(Config("0", "99999999999", std::string(10000, 'l'), "1"));
    LoadSettings();
    EXPECT_EQ(LetterCase::Upper, letterCase.load());
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
    LoadCaptureAtStart();
    SaveSettings({L"", 0, 2});
    SaveCaptureActive(true);
    EXPECT_EQ(CaptureAtStart::Resume, LoadCaptureAtStart());
}

TEST_F(SettingsFilesTest, AnIdThatWouldBreakItsLineIsLeftOut) {
    for (const wchar_t* id : {L"HID\\A\r\nPort=1", L"HID\\A\nCase=lower", L"HID\\A\tB", L"\x1f"}) {
        SaveSettings({id, 1, 2});
        EXPECT_EQ(Saved("2", "20296", "upper", "1"), ReadFile(ConfigFilePath()));
    }
}

TEST_F(SettingsFilesTest, TypedOptionsCountAsChangedUntilSaved) {
    WriteConfig(Config("0", "808", "upper", "1"));
    LoadSettings();
    EXPECT_FALSE(TypedOptionsChangedSinceSave());
    tcpPort = 809;
    EXPECT_TRUE(TypedOptionsChangedSinceSave());
    SaveSettings({});
    EXPECT_FALSE(TypedOptionsChangedSinceSave());
    pauseMilliseconds = 400;
    EXPECT_TRUE(TypedOptionsChangedSinceSave());
    SaveSettings({});
    EXPECT_FALSE(TypedOptionsChangedSinceSave());
}

TEST_F(SettingsFilesTest, AddedOptionsLoadAndWrongOnesAreSaidAndReplaced) {
    struct {
        std::string scan;
        ScanEnd end;
        int pause;
        const wchar_t* logged;
    } cases[] = {
        {"[Scan]\r\nEnd=tab\r\nPauseMs=20\r\n", ScanEnd::Tab, 20, nullptr},
        {"[Scan]\r\nEnd=pause\r\nPauseMs=5000\r\n", ScanEnd::Pause, 5000, nullptr},
        {"[Scan]\r\nEnd=Pause\r\n", ScanEnd::Enter, 100,
         L"config.ini: End=Pause is not one of enter, tab or pause: scans end at Enter."},
        {"[Scan]\r\nEnd=pause\r\nPauseMs=10\r\n", ScanEnd::Pause, 100,
         L"config.ini: PauseMs=10 is not a whole number from 20 to 5000: 100 is used."},
        {"HoldScans=-3\r\n", ScanEnd::Enter, 100,
         L"config.ini: HoldScans=-3 is not a whole number from 0 to 10000: 0 is used."},
        {"Accept=10.0.0.5, 10.0.0.256\r\n", ScanEnd::Enter, 100,
         L"config.ini: Accept=10.0.0.5, 10.0.0.256 is not any, local or a list of IPv4 "
         L"addresses: only programs on this computer may connect (local)."},
    };
    StartCollectingDialogMessages();
    for (const auto& c : cases) {
        ClearCollectedDialogMessages();
        WriteConfig(Config("0", "808", "upper", "1") + c.scan);
        scanEnd = ScanEnd::Tab;
        pauseMilliseconds = 77;
        LoadSettings();
        EXPECT_EQ(c.end, scanEnd.load()) << c.scan;
        EXPECT_EQ(c.pause, pauseMilliseconds.load()) << c.scan;
        // Only an Accept value that cannot be read leaves the network out.
        EXPECT_EQ(c.scan.find("Accept") != std::string::npos, acceptRule.localOnly) << c.scan;
        EXPECT_EQ(c.logged ? std::vector<std::wstring>{c.logged} : std::vector<std::wstring>{},
                  LoggedTexts());
    }
    StopCollectingDialogMessages();
}

// What an administrator sets for the PC: defaults.ini in ProgramData and the package's values.
class MachineDefaultsTest : public SettingsFilesTest {
protected:
    const wchar_t* packageKey = L"Software\\Marrowick\\Wendalux\\Defaults";
    fs::path defaultsFolder;

    void SetUp() override {
        SettingsFilesTest::SetUp();
        wchar_t programData[MAX_PATH] = {};
        ASSERT_EQ(S_OK, SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, programData));
        defaultsFolder = fs::path(programData) / L"Wendalux";
        fs::create_directories(defaultsFolder);
    }

    void TearDown() override {
        fs::remove_all(defaultsFolder);
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, packageKey);
        SettingsFilesTest::TearDown();
    }

    void PackageValue(const wchar_t* section, const wchar_t* key, const std::wstring& value) {
        std::wstring subkey = std::wstring(packageKey) + L"\\" + section;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegSetKeyValueW(HKEY_LOCAL_MACHINE, subkey.c_str(), key, REG_SZ, value.c_str(),
                                  static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))));
    }
};

TEST_F(MachineDefaultsTest, FillWhatTheUserLacksAndNameTheDeviceById) {
    WriteFile((defaultsFolder / L"defaults.ini").wstring(),
              "[Device]\r\nInterceptionId=2\r\nHardwareId=HID\\VID_1234&PID_ABCD\r\nInstance=2\r\n"
              "[Tcp]\r\nPort=20400\r\nCase=Lower\r\n[Capture]\r\nActive=1\r\n");
    PackageValue(L"Tcp", L"Port", L"20500");  // the file wins
    PackageValue(L"Tcp", L"IncludeEnter", L"0");
    PackageValue(L"Tcp", L"Accept", L"");  // not given
    PackageValue(L"Tcp", L"HoldScans", L"many");
    PackageValue(L"Scan", L"End", L"tab");
    StartCollectingDialogMessages();

    DeviceIdentity device = LoadSettings();  // a user without settings
    EXPECT_EQ(L"HID\\VID_1234&PID_ABCD", device.hardwareId);
    EXPECT_EQ(2, device.instance);
    EXPECT_EQ(0, device.deviceNumber);  // never a number from the machine
    EXPECT_EQ(20400, tcpPort.load());
    EXPECT_FALSE(TypedOptionsChangedSinceSave());     // nothing of the machine's is copied unasked
    EXPECT_EQ(LetterCase::Upper, letterCase.load());  // an administrator's typo, said
    EXPECT_FALSE(includeEnter);
    EXPECT_FALSE(acceptRule.localOnly);
    EXPECT_EQ(ScanEnd::Tab, scanEnd.load());
    EXPECT_EQ((std::vector<std::wstring>{L"defaults.ini: Case=Lower is not one of upper, lower or "
                                         L"keep: letters are sent in upper case.",
                                         L"HKLM\\Software\\Marrowick\\Wendalux\\Defaults\\Tcp: "
                                         L"HoldScans=many is not a whole number from 0 to 10000: 0 "
                                         L"is used."}),
              LoggedTexts());
    EXPECT_EQ(CaptureAtStart::ByDefaults, LoadCaptureAtStart());

    // The user's own values win, key by key; a user who chose no device gets the machine's.
    WriteConfig(Config("3", "808", "upper", "1"));
    device = LoadSettings();
    EXPECT_EQ(3, device.deviceNumber);
    EXPECT_EQ(L"", device.hardwareId);
    EXPECT_EQ(808, tcpPort.load());
    EXPECT_EQ(LetterCase::Upper, letterCase.load());
    EXPECT_TRUE(includeEnter);
    EXPECT_EQ(ScanEnd::Tab, scanEnd.load());  // older files have no [Scan]
    WriteConfig(Config("0", "808", "upper", "1"));
    EXPECT_EQ(L"HID\\VID_1234&PID_ABCD", LoadSettings().hardwareId);
    SaveCaptureActive(false);
    EXPECT_EQ(CaptureAtStart::Off, LoadCaptureAtStart());
    StopCollectingDialogMessages();
}

TEST_F(SettingsFilesTest, TemporaryFilesLeftFromBeforeAreRemoved) {
    WriteConfig(Config("1", "808", "upper", "1"));
    for (const std::wstring& path : {ConfigFilePath(), CaptureStateFilePath()}) {
        WriteFile(path + L".tmp", "[Device]\r\nInterc");
    }
    RemoveStaleTemporaryFiles();
    EXPECT_FALSE(fs::exists(fs::path(ConfigFilePath() + L".tmp")));
    EXPECT_FALSE(fs::exists(fs::path(CaptureStateFilePath() + L".tmp")));
    EXPECT_EQ(Config("1", "808", "upper", "1"), ReadFile(ConfigFilePath()));
}

TEST_F(SettingsFilesTest, AHeldFileIsWaitedForThenReplaced) {
    const std::wstring waiting = L"config.ini is held by another program: waiting to save it...";
    SaveSettings({L"", 0, 1});
    StartCollectingDialogMessages();
    HANDLE held = Hold(ConfigFilePath());
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    SaveSettings({L"", 0, 1});  // the same bytes: no move to refuse
    EXPECT_TRUE(LoggedTexts().empty());

    CloseHandle(held);
    // The release has to come within the retries; on a starved machine it may come too late,
    // which proves nothing, so the try is made again with another value.
    bool replaced = false;
    for (int device = 2; device < 7 && !replaced; ++device) {
        ClearCollectedDialogMessages();
        held = Hold(ConfigFilePath());
        ASSERT_NE(INVALID_HANDLE_VALUE, held);
        std::thread saving([device] { SaveSettings({L"", 0, device}); });
        bool refused = WaitForLoggedText(waiting);
        CloseHandle(held);
        saving.join();
        ASSERT_TRUE(refused);
        replaced =
            ReadFile(ConfigFilePath()) == Saved(std::to_string(device), "20296", "upper", "1");
        EXPECT_EQ(replaced ? 1u : 2u, LoggedTexts().size());
    }
    EXPECT_TRUE(replaced);
    StopCollectingDialogMessages();
}

TEST_F(SettingsFilesTest, AFileHeldTooLongKeepsItsTextAndTheFailureIsLogged) {
    SaveCaptureActive(true);
    StartCollectingDialogMessages();
    HANDLE held = Hold(CaptureStateFilePath());
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    SaveCaptureActive(false);
    CloseHandle(held);
    auto logged = LoggedTexts();
    StopCollectingDialogMessages();
    ASSERT_EQ(2u, logged.size());
    EXPECT_EQ(L"capture_state.ini is held by another program: waiting to save it...", logged[0]);
    EXPECT_EQ(0u, logged[1].find(L"The settings could not be saved to capture_state.ini (Windows "
                                 L"error "));
    EXPECT_EQ("[Capture]\r\nActive=1\r\n", ReadFile(CaptureStateFilePath()));
    EXPECT_FALSE(fs::exists(fs::path(CaptureStateFilePath() + L".tmp")));
}

TEST_F(SettingsFilesTest, AReadOnlyFileIsLeftAsItIsAndSaidSo) {
    SaveCaptureActive(true);
    ASSERT_TRUE(SetFileAttributesW(CaptureStateFilePath().c_str(), FILE_ATTRIBUTE_READONLY));
    StartCollectingDialogMessages();
    SaveCaptureActive(false);
    auto logged = LoggedTexts();
    StopCollectingDialogMessages();
    SetFileAttributesW(CaptureStateFilePath().c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(
        std::vector<std::wstring>{L"capture_state.ini is read-only: the change is not saved."},
        logged);
    EXPECT_EQ("[Capture]\r\nActive=1\r\n", ReadFile(CaptureStateFilePath()));
}

}  // namespace
