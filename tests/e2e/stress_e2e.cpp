// Stress of the real program under Wine (make stress): many clients, hostile clients, port
// and capture churn, a keyboard that comes and goes. Bounded in time, loopback only.
#include "e2e/program_test.h"

#include "forwarding/scan_frame.h"
#include "resources/resource.h"
#include "support/test_client.h"
#include "support/test_environment.h"

#include <gtest/gtest.h>

#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;

size_t WorkingSetBytes(const App& app) {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(app.process.hProcess, &counters, sizeof counters);
    return counters.WorkingSetSize;
}

class StressTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        WriteSettings(ConfigFor(2, port), "[Capture]\r\nActive=1\r\n");
        AppOptions options;
        options.reuseNumbers = true;  // the scanner is plugged back at its own number, often
        ASSERT_TRUE(LaunchAndFindWindow(app, options));
        ASSERT_TRUE(WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Connected"));
        ASSERT_TRUE(WaitForControlText(app.window, IDC_TCP_STATUS, L"Listening"));
    }

    // Connects and waits until the program has accepted the connection. The status field
    // is cheap to read; a "Connected" left from the last client must turn first.
    SocketHandle Accepted() {
        EXPECT_TRUE(
            WaitUntil([&] { return ControlText(app.window, IDC_TCP_STATUS) != L"Connected"; }));
        SocketHandle client = ConnectClient(port);
        EXPECT_NE(InvalidSocket, client);
        EXPECT_TRUE(WaitForControlText(app.window, IDC_TCP_STATUS, L"Connected"));
        return client;
    }

    bool ScanArrives(SocketHandle client, const std::string& code) {
        std::string frame = BuildScanFrame(code + "\r");
        SimCommand(app, "scan 2 " + code);
        return ReadBytes(client, frame.size()) == frame;
    }
};

TEST_F(StressTest, ThousandClientsEachGetTheirScan) {
    int delivered = 0;
    for (int cycle = 0; cycle < 1000; ++cycle) {
        SocketHandle client = Accepted();
        delivered += ScanArrives(client, std::to_string(cycle) + "C");
        SocketClose(client);
    }
    EXPECT_EQ(1000, delivered);
    std::printf("1000 connect/disconnect cycles: %d scans delivered\n", delivered);
}

TEST_F(StressTest, GarbageFromTheClientNeitherStopsScansNorGrowsMemory) {
    SocketHandle client = Accepted();
    size_t before = WorkingSetBytes(app);
    ASSERT_GT(before, 0u);
    std::atomic<size_t> sent{0};
    std::thread garbage([&] {
        std::string chunk(65536, '\0');
        for (size_t k = 0; k < chunk.size(); ++k) {
            chunk[k] = static_cast<char>(k * 131 + 7);
        }
        while (sent < 100u * 1024 * 1024 &&
               SocketSendAll(client, chunk.data(), chunk.size(), 10000)) {
            sent += chunk.size();
        }
    });
    int delivered = 0, scans = 0;
    while (sent < 100u * 1024 * 1024 && scans < 20000) {
        delivered += ScanArrives(client, std::to_string(scans++) + "G");
    }
    garbage.join();
    size_t after = WorkingSetBytes(app);
    EXPECT_EQ(100u * 1024 * 1024, sent.load());
    EXPECT_EQ(scans, delivered);
    EXPECT_LT(after, before + 16u * 1024 * 1024);
    std::printf("100 MB of garbage sent, %d scans delivered meanwhile, working set %zu -> %zu KB\n",
                delivered, before / 1024, after / 1024);
    SocketClose(client);
}

TEST_F(StressTest, ClientThatStopsReadingNeverHoldsTheWindow) {
    SocketHandle stalled = Accepted();
    std::atomic<bool> typing{true};
    std::atomic<long long> slowest{0};
    std::thread watcher([&] {
        while (typing) {
            auto started = std::chrono::steady_clock::now();
            bool answered = Answers(app, 3s);
            auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - started)
                            .count();
            slowest = std::max<long long>(slowest, answered ? took : 99999);
            std::this_thread::sleep_for(50ms);
        }
    });
    std::string big(3000, 'S');
    auto until = std::chrono::steady_clock::now() + 15s;
    while (std::chrono::steady_clock::now() < until) {
        SimCommand(app, "scan 2 " + big);
    }
    typing = false;
    watcher.join();
    EXPECT_LT(slowest.load(), 3000);
    std::printf("stalled client: slowest window round trip %lld ms\n", slowest.load());
    // The next client is served once the program has dealt with the scans typed meanwhile.
    ASSERT_TRUE(SimStrokesTaken(app));
    ASSERT_TRUE(RoundTrip(app));
    SocketClose(stalled);
    SocketHandle next = Accepted();
    EXPECT_TRUE(ScanArrives(next, "NEXT"));
    SocketClose(next);
}

TEST_F(StressTest, TwoHundredPortChangesWhileCapturing) {
    uint16_t current = port;
    for (int change = 0; change < 200; ++change) {
        current = FreeTcpPort();
        SetControlText(app.window, IDC_PORT, std::to_wstring(current));
    }
    port = current;
    ASSERT_TRUE(WaitForLog(app, L"TCP server listening on port " + std::to_wstring(current)));
    SocketHandle client = Accepted();
    EXPECT_TRUE(ScanArrives(client, "PORT"));
    SocketClose(client);
}

TEST_F(StressTest, TwoHundredStartStopCyclesWithStrokesInFlight) {
    // The stand-in serves one control client at a time: the typist and this thread share it.
    std::mutex channel;
    std::atomic<bool> typing{true};
    std::thread typist([&] {
        while (typing) {
            std::lock_guard<std::mutex> lock(channel);
            SimCommand(app, "type 2 abcdefghij");
        }
    });
    auto systemSaw = [&](const std::string& stroke) {
        return WaitUntil([&] {
            std::lock_guard<std::mutex> lock(channel);
            auto seen = SimSystem(app);
            return std::find(seen.begin(), seen.end(), stroke) != seen.end();
        });
    };
    int reachedSystem = 0;
    for (int cycle = 0; cycle < 200; ++cycle) {
        PostCommand(app, IDC_START_STOP);
        ASSERT_TRUE(WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Disconnected"));
        {
            std::lock_guard<std::mutex> lock(channel);
            SimCommand(app, "type 2 /");  // after the stop, the keyboard types into the system
        }
        reachedSystem += systemSaw("2 53 0");
        PostCommand(app, IDC_START_STOP);
        ASSERT_TRUE(WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Connected"));
    }
    typing = false;
    typist.join();
    PostCommand(app, IDC_START_STOP);
    ASSERT_TRUE(WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Disconnected"));
    EXPECT_EQ(200, reachedSystem);
    EXPECT_EQ("end", SimCommand(app, "held"));
    std::printf("200 start/stop cycles: keyboard reached the system after %d stops\n",
                reachedSystem);
}

TEST_F(StressTest, KeyboardUnpluggedAndPluggedDuringCapture) {
    SocketHandle client = Accepted();
    for (int round = 0; round < 20; ++round) {
        ASSERT_EQ("ok", SimCommand(app, "unplug 2"));
        ASSERT_EQ("ok", SimCommand(app, "scan 2 LOST"));
        ASSERT_EQ("ok", SimCommand(app, "plug 2 HID\\VID_1234&PID_ABCD&REV_0100&MI_00"));
        EXPECT_TRUE(ScanArrives(client, "BACK" + std::to_string(round)));
    }
    // A line the window logs waits in its message queue before it is shown.
    ASSERT_TRUE(RoundTrip(app));
    EXPECT_EQ(std::wstring::npos, LogText(app).find(L"LOST"));
    SocketClose(client);
}

}  // namespace
