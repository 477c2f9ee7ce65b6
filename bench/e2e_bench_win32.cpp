// End-to-end benchmark of the real Wendalux.exe with the stand-in driver and a TCP client.
// Writes its figures as JSON lines to RESULT_FILE; the idle phase is measured from outside by
// scripts/bench-e2e.sh between IDLE_FILE appearing and this program ending.
// Usage: e2e_bench.exe RESULT_FILE IDLE_FILE
#include "e2e/app_harness.h"

#include "forwarding/scan_frame.h"
#include "resources/resource.h"
#include "support/test_client.h"
#include "support/test_environment.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

int64_t NowNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

struct Summary {
    double median;
    double p99;
    double maximum;
    size_t count;
};

Summary Summarise(std::vector<int64_t> nanoseconds) {
    if (nanoseconds.empty()) {
        return {0, 0, 0, 0};
    }
    std::sort(nanoseconds.begin(), nanoseconds.end());
    auto at = [&](double fraction) {
        size_t index = static_cast<size_t>(fraction * static_cast<double>(nanoseconds.size() - 1));
        return static_cast<double>(nanoseconds[index]) / 1e6;
    };
    return {at(0.5), at(0.99), static_cast<double>(nanoseconds.back()) / 1e6, nanoseconds.size()};
}

std::string Json(const char* name, const Summary& summary) {
    char line[256];
    std::snprintf(line, sizeof line,
                  "\"%s\": {\"count\": %zu, \"median_ms\": %.4f, \"p99_ms\": %.4f, "
                  "\"max_ms\": %.4f}",
                  name, summary.count, summary.median, summary.p99, summary.maximum);
    return line;
}

// Every "timings" line of one kind, as numbers.
std::vector<int64_t> Timings(App& app, const std::string& kind) {
    std::vector<int64_t> values;
    for (std::string line = SimCommand(app, "timings"); line != "end"; line = SimCommand(app, "")) {
        if (line.rfind(kind + " ", 0) == 0) {
            values.push_back(std::stoll(line.substr(kind.size() + 1)));
        } else if (line.rfind("enter ", 0) != 0 && line.rfind("pass ", 0) != 0) {
            break;
        }
    }
    return values;
}

uint64_t Counter(App& app, const std::string& name) {
    std::istringstream words(SimCommand(app, "stats"));
    std::string word;
    uint64_t value = 0;
    while (words >> word) {
        if (word == name && words >> value) {
            return value;
        }
    }
    return 0;
}

// Reads exactly size bytes with plain blocking receives: no readiness wait before each one,
// whose cost under Wine would be counted as the program's.
bool ReadExactly(SocketHandle client, std::string& bytes, size_t size) {
    bytes.clear();
    char buffer[4096];
    while (bytes.size() < size) {
        size_t want = std::min(size - bytes.size(), sizeof buffer);
        int count = SocketReceive(client, buffer, static_cast<int>(want));
        if (count <= 0) {
            return false;
        }
        bytes.append(buffer, static_cast<size_t>(count));
    }
    return true;
}

std::string EnterToFrame(App& app, SocketHandle client) {
    SimCommand(app, "timing on");
    constexpr int Scans = 1000;
    std::vector<std::string> frames;
    for (int scan = 0; scan < Scans; ++scan) {
        frames.push_back(BuildScanFrame("4006381" + std::to_string(100000 + scan) + "\r"));
    }
    // Frames are timed as they arrive, by a reader of their own: the control channel's reply
    // to each "scan" command must not stand between a frame and its arrival time.
    std::vector<int64_t> received;
    bool intact = true;
    std::thread reader([&] {
        std::string bytes;
        for (const std::string& frame : frames) {
            if (!ReadExactly(client, bytes, frame.size()) || bytes != frame) {
                intact = false;
                return;
            }
            received.push_back(NowNanoseconds());
        }
    });
    // A scanner's Enter comes at any moment, not in step with anything in the program.
    std::mt19937 random(2026);
    std::uniform_int_distribution<int> pause(0, 45);
    for (int scan = 0; scan < Scans; ++scan) {
        std::this_thread::sleep_for(std::chrono::milliseconds(pause(random)));
        SimCommand(app, "scan 2 4006381" + std::to_string(100000 + scan));
    }
    reader.join();
    if (!intact) {
        return "\"enter_to_frame\": {\"error\": \"frame " + std::to_string(received.size()) +
               " wrong\"}";
    }
    std::vector<int64_t> entered = Timings(app, "enter");
    std::vector<int64_t> latencies;
    for (size_t k = 0; k < std::min(entered.size(), received.size()); ++k) {
        latencies.push_back(received[k] - entered[k]);
    }
    return Json("enter_to_frame", Summarise(latencies));
}

// The user's keyboard is never filtered: its strokes reach the system without entering the
// program, which is handed none of them.
std::string UserKeyboard(App& app) {
    uint64_t handedBefore = Counter(app, "handed");
    SimSystem(app);
    std::string text;
    for (int k = 0; k < 5000; ++k) {
        text.push_back("qwertyuiop"[k % 10]);
    }
    for (size_t at = 0; at < text.size(); at += 2500) {
        SimCommand(app, "type 1 " + text.substr(at, 2500));
    }
    size_t reached = SimSystemAtLeast(app, 10000).size();
    char line[200];
    std::snprintf(line, sizeof line,
                  "\"user_keyboard\": {\"strokes\": 10000, \"reached_system\": %zu, "
                  "\"entered_program\": %llu}",
                  reached, static_cast<unsigned long long>(Counter(app, "handed") - handedBefore));
    return line;
}

// A re-plugged scanner that the driver starts unfiltered: from its arrival to the program
// setting the filter on its new number again. Re-plugs come at random moments, as a person's
// do; a restart of Windows (the stand-in's reboot) frees the numbers after each round.
std::string ArrivalToFilter(App& app) {
    std::vector<int64_t> latencies;
    std::mt19937 random(2026);
    std::uniform_int_distribution<int> pause(0, 100);
    int scanner = 2;
    for (int round = 0; round < 5; ++round) {
        SimCommand(app, "reboot");
        for (int to = 2; to <= 10; ++to) {
            if (to == scanner) {
                continue;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(pause(random)));
            SimCommand(app, "move " + std::to_string(scanner) + " " + std::to_string(to));
            scanner = to;
            std::string reply;
            WaitUntil(
                [&] {
                    return (reply = SimCommand(app, "arrival " + std::to_string(to))) != "none";
                },
                10s);
            if (reply != "none") {
                latencies.push_back(std::stoll(reply));
            }
        }
    }
    return Json("arrival_to_filter", Summarise(latencies));
}

std::string Burst(App& app, SocketHandle client) {
    SimCommand(app, "timing off");
    uint64_t injectedBefore = Counter(app, "injected");
    uint64_t handedBefore = Counter(app, "handed");
    std::string expected;
    std::vector<std::string> commands;
    for (int scan = 0; scan < 500; ++scan) {
        std::string code;
        for (int k = 0; k < 99; ++k) {
            code.push_back("abcdefghijklmnopqrstuvwxyz0123456789"[(scan * 7 + k) % 36]);
        }
        commands.push_back("scan 2 " + code);
        std::string upper = code;
        std::transform(upper.begin(), upper.end(), upper.begin(),
                       [](char c) { return static_cast<char>(std::toupper(c)); });
        expected += BuildScanFrame(upper + "\r");
    }
    std::string received;
    std::thread reader([&] { received = ReadBytes(client, expected.size(), 120s); });
    auto started = Clock::now();
    for (const std::string& command : commands) {
        SimCommand(app, command);
    }
    reader.join();
    double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    WaitUntil([&] { return Counter(app, "handed") - handedBefore >= 100000; }, 10s);
    uint64_t injected = Counter(app, "injected") - injectedBefore;
    uint64_t handed = Counter(app, "handed") - handedBefore;
    size_t scans = 0;
    for (size_t at = 0; (at = received.find("\xDD\xFETOVAK", at)) != std::string::npos; ++at) {
        ++scans;
    }
    char line[256];
    std::snprintf(line, sizeof line,
                  "\"burst\": {\"strokes\": %llu, \"strokes_lost\": %lld, \"scans\": %zu, "
                  "\"bytes\": %zu, \"byte_exact\": %s, \"seconds\": %.3f}",
                  static_cast<unsigned long long>(injected),
                  static_cast<long long>(injected) - static_cast<long long>(handed), scans,
                  received.size(), received == expected ? "true" : "false", seconds);
    return line;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: e2e_bench RESULT_FILE IDLE_FILE\n");
        return 2;
    }
    SocketLibraryStart();
    ResetUserState();
    uint16_t port = FreeTcpPort();
    WriteSettings(ConfigFor(2, port), "[Capture]\r\nActive=1\r\n");
    App app;
    AppOptions options;
    options.arrivalUnfiltered = true;
    if (!LaunchAndFindWindow(app, options) ||
        !WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Connected")) {
        std::fprintf(stderr, "the program did not start capturing\n");
        Kill(app);
        return 1;
    }
    SocketHandle client = ConnectClient(port);
    WaitForControlText(app.window, IDC_TCP_STATUS, L"Connected");

    std::ofstream results(argv[1]);
    results << "{" << EnterToFrame(app, client) << ",\n";
    std::fprintf(stderr, "enter-to-frame done\n");
    results << UserKeyboard(app) << ",\n";
    std::fprintf(stderr, "user keyboard done\n");
    results << Burst(app, client) << ",\n";
    std::fprintf(stderr, "burst done\n");
    results << ArrivalToFilter(app) << "\n}\n";
    results.close();
    std::fprintf(stderr, "arrivals done; idle for 30 s\n");

    // Idle: capture running, a client connected, no input.
    std::this_thread::sleep_for(2s);
    std::ofstream(argv[2]) << app.process.dwProcessId << "\n";
    std::this_thread::sleep_for(33s);
    SocketClose(client);
    Kill(app);
    return 0;
}
