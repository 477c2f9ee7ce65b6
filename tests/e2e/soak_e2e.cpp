// A day at a scanner station in minutes (make soak): the real program under Wine plays a seeded
// script of scans, typing, clients that come, stall and go, Reset, re-plugging, Refresh, Stop
// and Start, option and port changes and Copy Log, and checks that nothing is lost, leaked or
// grown. Prints a table; exits 0 only when every check holds.
// Usage: soak_e2e.exe  (SOAK_MINUTES, default 20; SOAK_SEED, default 2026)
#include "e2e/app_harness.h"

#include "common/scan_text.h"
#include "forwarding/scan_frame.h"
#include "resources/resource.h"
#include "support/test_client.h"
#include "support/test_environment.h"

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <random>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string ScannerId = "HID\\VID_1234&PID_ABCD&REV_0100&MI_00";

struct Sample {
    double minute;
    size_t privateBytes;
    DWORD handles, gdiObjects, userObjects;
};

struct Soak {
    App app;
    uint16_t port = 0;
    std::mt19937 random;
    SocketHandle client = InvalidSocket;
    std::vector<std::string> unread;  // frames sent while the client stalls
    int scanner = 2;
    int scanNumber = 0;  // the program's count since the last capture start
    bool includeEnter = true, lowercase = false;

    uint64_t sentReading = 0, delivered = 0, lost = 0, sentNobody = 0, logged = 0;
    uint64_t sentStalled = 0, arrivedStalled = 0;
    uint64_t keyboardTyped = 0, keyboardArrived = 0, scannerLeaked = 0, otherSystem = 0;
    uint64_t pings = 0, slowPings = 0, actions = 0;
    double slowestPingMs = 0;
    std::vector<Sample> samples;

    int Pick(int below) { return std::uniform_int_distribution<int>(0, below - 1)(random); }

    std::string Code() {
        int kind = Pick(100);
        std::string code;
        if (kind < 60) {  // EAN-13
            for (int k = 0; k < 13; ++k)
                code.push_back(static_cast<char>('0' + Pick(10)));
        } else if (kind < 90) {  // a label of 20 to 60 characters
            for (int k = 20 + Pick(41); k > 0; --k)
                code.push_back("ABCDEFGHJKLMNPQRSTUVWXYZ0123456789-/."[Pick(37)]);
        } else if (kind < 98) {  // GS1 with a separator
            code = "01" + std::to_string(10000000000000LL + Pick(1000000)) + "17271231" + "10L" +
                   std::to_string(Pick(99999)) + "\x1D" + "21S" + std::to_string(Pick(999999));
        } else {  // a 2,000-character shipping label
            for (int k = 0; k < 2000; ++k)
                code.push_back(static_cast<char>('A' + (k * 7 + Pick(3)) % 26));
        }
        return code;
    }

    std::string AsSent(std::string text) {
        for (char& c : text) {
            if (lowercase && c >= 'A' && c <= 'Z')
                c = static_cast<char>(c + 32);
            if (!lowercase && c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 32);
        }
        return text;
    }

    void Scan() {
        std::string code = Code();
        std::string text = AsSent(code);
        ++scanNumber;
        SimCommand(app, "scan " + std::to_string(scanner) + " " + code);
        std::string frame = BuildScanFrame(text + (includeEnter ? "\r" : ""));
        if (client == InvalidSocket) {
            ++sentNobody;
            std::string shown = "SCAN #" + std::to_string(scanNumber) + " -> " +
                                NameControlBytes(text) + " (no client)\r\n";
            bool found = WaitForLog(app, std::wstring(shown.begin(), shown.end()));
            logged += found;
            if (!found && logged + 1 == sentNobody) {
                std::wstring log = LogText(app);
                std::printf("first scan not logged: %s\nlog ends: %s\n", shown.c_str(),
                            Narrow(log.substr(log.size() > 400 ? log.size() - 400 : 0)).c_str());
            }
        } else if (!unread.empty() || Pick(50) == 0) {
            unread.push_back(frame);  // the client stalls for up to ten scans
            if (unread.size() >= 10) {
                CatchUp();
            }
        } else {
            ++sentReading;
            std::string got = ReadBytes(client, frame.size());
            bool arrived = got == frame;
            arrived ? ++delivered : ++lost;
            if (!arrived) {
                // What went missing, and what the program said around it.
                std::wstring log = LogText(app);
                std::printf(
                    "lost scan %llu on keyboard %d: %zu of %zu bytes arrived\nlog ends: %s\n",
                    static_cast<unsigned long long>(scanNumber), scanner, got.size(), frame.size(),
                    Narrow(log.substr(log.size() > 1500 ? log.size() - 1500 : 0)).c_str());
                Reconnect();
            }
        }
    }

    // The stalled client reads again. A client that stops reading for too long is dropped by
    // design (the program waits 2 s for room): what it missed is counted apart, not as lost.
    void CatchUp() {
        bool intact = true;
        for (const std::string& frame : unread) {
            ++sentStalled;
            intact = intact && ReadBytes(client, frame.size()) == frame;
            arrivedStalled += intact;
        }
        bool dropped = !unread.empty() && !intact;
        unread.clear();
        if (dropped) {
            Reconnect();
        }
    }

    void Disconnect() {
        CatchUp();
        if (client != InvalidSocket) {
            SocketClose(client);
            client = InvalidSocket;
            WaitForControlText(app.window, IDC_TCP_STATUS, L"Listening");
        }
    }

    void Reconnect() {
        Disconnect();
        WaitUntil([&] { return (client = ConnectClient(port)) != InvalidSocket; }, 20s);
        WaitForControlText(app.window, IDC_TCP_STATUS, L"Connected");
    }

    // A second client waits in the backlog; Reset hands the connection over to it.
    void ResetWithAClientWaiting() {
        CatchUp();
        SocketHandle waiting = ConnectClient(port);
        PostCommand(app, IDC_CLEAR_LOG);
        RoundTrip(app);
        PostCommand(app, IDC_RESET);
        WaitForClose(client);
        SocketClose(client);
        client = waiting;
        WaitForLog(app, L"Client connected:");
    }

    void Type() {
        std::string word;
        for (int k = 1 + Pick(12); k > 0; --k)
            word.push_back("etaoinshrdlu0123"[Pick(16)]);
        SimCommand(app, "type 1 " + word);
        keyboardTyped += 2 * word.size();
    }

    void CountSystem() {
        for (const std::string& line : SimSystem(app)) {
            if (line.rfind("1 ", 0) == 0) {
                ++keyboardArrived;
            } else {
                ++scannerLeaked;
            }
        }
    }

    // Waits until the program has taken every stroke typed so far, as a user unplugs or stops
    // after a scan, not in the middle of one: strokes still in the cable are lost by a re-plug.
    void Settle() { SimStrokesTaken(app); }

    void Replug() {
        Settle();
        int next = 2 + Pick(8);
        if (next == scanner || Pick(2) == 0) {
            SimCommand(app, "unplug " + std::to_string(scanner));
            WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Waiting for device");
            Type();
            SimCommand(app, "plug " + std::to_string(next) + " " + ScannerId);
            WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Connected");
        } else {
            SimCommand(app, "move " + std::to_string(scanner) + " " + std::to_string(next));
        }
        scanner = next;  // scanned on at once: its first stroke must be captured
    }

    void StopAndStart() {
        Settle();
        PostCommand(app, IDC_START_STOP);
        WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Disconnected");
        Type();
        PostCommand(app, IDC_START_STOP);
        if (!WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Connected")) {
            for (const wchar_t* caption : {L"Error", L"Driver Error"}) {
                if (HWND box = FindProcessWindow(app.process.dwProcessId, caption, 1s)) {
                    std::printf("start refused: %s\n", Narrow(MessageBoxText(box)).c_str());
                }
            }
            auto entries = LogEntries(app);
            for (size_t k = entries.size() > 60 ? entries.size() - 60 : 0; k < entries.size();
                 ++k) {
                std::printf("  %s\n", Narrow(entries[k].substr(0, 90)).c_str());
            }
            std::printf("selection %d\n", (int)SendDlgItemMessageW(app.window, IDC_DEVICE_SELECTOR,
                                                                   CB_GETCURSEL, 0, 0));
        }
        scanNumber = 0;
    }

    void ChangeOption() {
        // The case applies to keys read after the click: the last scan is read whole first.
        if (scanNumber > 0) {
            WaitForLog(app, L"SCAN #" + std::to_wstring(scanNumber) + L" -> ", 5s);
        }
        if (Pick(2) == 0) {
            ClickButton(app.window, IDC_INCLUDE_ENTER);
            includeEnter = !includeEnter;
        } else {
            lowercase = !lowercase;
            ClickButton(app.window, lowercase ? IDC_CASE_LOWER : IDC_CASE_UPPER);
        }
    }

    void PortChangeAndBack() {
        Disconnect();
        uint16_t other = FreeTcpPort();
        SetControlText(app.window, IDC_PORT, std::to_wstring(other));
        WaitForLog(app, L"TCP server listening on port " + std::to_wstring(other));
        SetControlText(app.window, IDC_PORT, std::to_wstring(port));
        Reconnect();
    }

    void Ping() {
        auto started = Clock::now();
        bool answered = Answers(app, 5s);
        double ms = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
        ++pings;
        slowestPingMs = std::max(slowestPingMs, ms);
        slowPings += !answered || ms > 1000;
    }

    // Under Wine the program is also a Linux process, and /proc (drive Z:) tells what Wine's
    // own calls for another process do not: GetProcessMemoryInfo and GetProcessHandleCount
    // give 0 there, and GetGuiResources is a stub.
    std::string linuxProcess;

    std::string ProcFile(const std::string& name) {
        std::ifstream file("Z:\\proc\\" + linuxProcess + "\\" + name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

    void FindLinuxProcess() {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator("Z:\\proc", error)) {
            linuxProcess = entry.path().filename().string();
            if (linuxProcess.find_first_not_of("0123456789") == std::string::npos &&
                ProcFile("cmdline").find("\\Wendalux.exe") != std::string::npos) {
                return;
            }
        }
        linuxProcess.clear();
    }

    void TakeSample(double minute) {
        Sample sample{minute, 0, 0, GetGuiResources(app.process.hProcess, GR_GDIOBJECTS),
                      GetGuiResources(app.process.hProcess, GR_USEROBJECTS)};
        PROCESS_MEMORY_COUNTERS_EX memory = {};
        memory.cb = sizeof memory;
        GetProcessMemoryInfo(app.process.hProcess,
                             reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
        sample.privateBytes = memory.PrivateUsage;
        GetProcessHandleCount(app.process.hProcess, &sample.handles);
        if (!linuxProcess.empty()) {
            std::string status = ProcFile("status");
            size_t at = status.find("RssAnon:");
            if (sample.privateBytes == 0 && at != std::string::npos) {
                sample.privateBytes = std::strtoull(status.c_str() + at + 8, nullptr, 10) * 1024;
            }
            if (sample.handles == 0) {
                std::error_code error;
                for (auto it = std::filesystem::directory_iterator(
                         "Z:\\proc\\" + linuxProcess + "\\fd", error);
                     it != std::filesystem::directory_iterator(); it.increment(error)) {
                    ++sample.handles;
                }
            }
        }
        samples.push_back(sample);
    }

    void Act() {
        ++actions;
        int action = Pick(1000);
        if (action < 700) {
            for (int k = Pick(10) == 0 ? 20 : 1; k > 0; --k)
                Scan();  // now and then a burst
        } else if (action < 850) {
            Type();
        } else if (action < 870) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200 + Pick(1500)));  // quiet
        } else if (action < 890) {
            client == InvalidSocket ? Reconnect() : Disconnect();
        } else if (action < 900) {
            CatchUp();
        } else if (action < 910 && client != InvalidSocket) {
            ResetWithAClientWaiting();
        } else if (action < 925) {
            Replug();
        } else if (action < 940) {
            PostCommand(app, IDC_REFRESH);
        } else if (action < 950) {
            StopAndStart();
        } else if (action < 965) {
            ChangeOption();
        } else if (action < 970) {
            PortChangeAndBack();
        } else if (action < 980) {
            PostCommand(app, IDC_COPY_LOG);
        } else {
            CountSystem();
        }
    }
};

int EnvironmentNumber(const char* name, int fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::atoi(text) : fallback;
}

// Mean of one figure over the samples of the first and the last tenth of the run.
template <typename Figure>
std::pair<double, double> FirstAndLastTenth(const std::vector<Sample>& samples, double minutes,
                                            Figure figure) {
    double sums[2] = {0, 0};
    int counts[2] = {0, 0};
    for (const Sample& sample : samples) {
        int tenth = sample.minute < minutes / 10 ? 0 : sample.minute >= minutes * 0.9 ? 1 : -1;
        if (tenth >= 0) {
            sums[tenth] += static_cast<double>(figure(sample));
            ++counts[tenth];
        }
    }
    return {counts[0] ? sums[0] / counts[0] : 0, counts[1] ? sums[1] / counts[1] : 0};
}

}  // namespace

int wmain() {
    const int minutes = EnvironmentNumber("SOAK_MINUTES", 20);
    const int seed = EnvironmentNumber("SOAK_SEED", 2026);
    SocketLibraryStart();
    ResetUserState();
    Soak soak;
    soak.random.seed(static_cast<unsigned>(seed));
    soak.port = FreeTcpPort();
    WriteSettings("[Device]\r\nInterceptionId=2\r\nHardwareId=" + ScannerId +
                      "\r\nInstance=1\r\n[Tcp]\r\nPort=" + std::to_string(soak.port) +
                      "\r\nCase=upper\r\nIncludeEnter=1\r\n",
                  "[Capture]\r\nActive=1\r\n");
    AppOptions options;
    options.devices = "1=ACPI\\PNP0303;2=" + ScannerId;
    options.reuseNumbers = true;  // hundreds of re-plugs, more than the driver's ten numbers
    if (!LaunchAndFindWindow(soak.app, options) ||
        !WaitForControlText(soak.app.window, IDC_CAPTURE_STATUS, L"Connected")) {
        std::fprintf(stderr, "soak: the program did not start capturing\n");
        Kill(soak.app);
        return 1;
    }
    soak.Reconnect();
    soak.FindLinuxProcess();
    std::printf("soak: %d minutes, seed %d, Linux process %s\n", minutes, seed,
                soak.linuxProcess.empty() ? "not found" : soak.linuxProcess.c_str());
    const auto started = Clock::now();
    auto elapsed = [&] {
        return std::chrono::duration<double, std::ratio<60>>(Clock::now() - started).count();
    };
    auto nextPing = Clock::now(), nextSample = Clock::now();
    while (elapsed() < minutes) {
        soak.Act();
        if (Clock::now() >= nextPing) {
            soak.Ping();
            nextPing = Clock::now() + 3s;
        }
        if (Clock::now() >= nextSample) {
            soak.TakeSample(elapsed());
            nextSample = Clock::now() + std::chrono::seconds(std::max(5, minutes * 3));
        }
    }
    soak.TakeSample(elapsed());
    soak.CatchUp();
    soak.CountSystem();
    PostCommand(soak.app, IDM_QUIT);
    int exitCode = WaitForExit(soak.app);
    Kill(soak.app);

    bool ok = soak.lost == 0 && soak.logged == soak.sentNobody && soak.scannerLeaked == 0 &&
              soak.keyboardArrived == soak.keyboardTyped && soak.slowPings == 0 && exitCode == 0;
    std::printf("\n| Check | Figure |\n|---|---|\n");
    // A row of the table with its counts, comma-separated.
    auto row = [](const char* check, std::initializer_list<uint64_t> counts) {
        std::printf("| %s |", check);
        const char* separator = " ";
        for (uint64_t count : counts) {
            std::printf("%s%llu", separator, static_cast<unsigned long long>(count));
            separator = ", ";
        }
        std::printf(" |\n");
    };
    row("actions played", {soak.actions});
    row("scans while a client was connected and reading: sent, delivered, lost",
        {soak.sentReading, soak.delivered, soak.lost});
    row("scans while the client stalled: sent, arrived after the stall",
        {soak.sentStalled, soak.arrivedStalled});
    row("scans while no client was connected: sent, logged", {soak.sentNobody, soak.logged});
    row("keyboard strokes typed, reached the system", {soak.keyboardTyped, soak.keyboardArrived});
    row("scanner strokes that reached the system", {soak.scannerLeaked});
    struct Figure {
        const char* name;
        double (*of)(const Sample&);
        double bound;
    } figures[] = {
        {"private memory, MB (RssAnon under Wine)",
         [](const Sample& s) { return s.privateBytes / 1048576.0; }, 4.0},
        {"handles (Linux file descriptors under Wine)",
         [](const Sample& s) { return static_cast<double>(s.handles); }, 20},
        {"GDI objects (0: Wine's GetGuiResources is a stub)",
         [](const Sample& s) { return static_cast<double>(s.gdiObjects); }, 10},
        {"USER objects (likewise)",
         [](const Sample& s) { return static_cast<double>(s.userObjects); }, 10},
    };
    for (const Figure& figure : figures) {
        auto [first, last] = FirstAndLastTenth(soak.samples, minutes, figure.of);
        bool flat = last - first <= figure.bound;
        ok = ok && flat;
        std::printf("| %s, first and last tenth (growth bound %.0f) | %.1f, %.1f%s |\n",
                    figure.name, figure.bound, first, last, flat ? "" : " GREW");
    }
    std::printf("| window answers: pings, over 1 s, slowest | %llu, %llu, %.0f ms |\n",
                static_cast<unsigned long long>(soak.pings),
                static_cast<unsigned long long>(soak.slowPings), soak.slowestPingMs);
    std::printf("| exit code after Quit | %d |\n", exitCode);
    std::printf("\nsoak %s\n", ok ? "passed" : "FAILED");
    SocketLibraryStop();
    return ok ? 0 : 1;
}
