// Faults a user meets in the first week, with realistic data: a log of thousands of 13-digit
// scans, a port edited while stopped, Reset with a client waiting, a quick restart, a foreign
// message, Esc in the log, and the tab stop of the case group.
#include "e2e/program_test.h"

#include "forwarding/scan_frame.h"
#include "resources/resource.h"
#include "support/test_environment.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using namespace std::chrono_literals;

class FieldFaultTest : public RunningProgramTest {
protected:
    size_t Count(const std::wstring& fragment) {
        std::wstring log = LogText(app);
        size_t count = 0;
        for (size_t at = log.find(fragment); at != std::wstring::npos;
             at = log.find(fragment, at + 1)) {
            ++count;
        }
        return count;
    }
};

TEST_F(FieldFaultTest, LogOfThousandsOfRealScansAlwaysShowsTheNewest) {
    StartCapture();
    std::wstring newest;
    auto scan = [&](int number, const std::string& code) {
        ASSERT_EQ("ok", SimCommand(app, "scan 2 " + code));
        newest = L"SCAN #" + std::to_wstring(number) + L" -> " +
                 std::wstring(code.begin(), code.end()) + L" (no client)";
    };
    for (int number = 1; number <= 2000; ++number) {
        std::string ean = std::to_string(4006381000000LL + number * 7919LL);
        scan(number, ean);
        if (number % 250 == 0) {
            ASSERT_TRUE(WaitForLog(app, newest + L"\r\n", 60s)) << number;
        }
    }
    // Shipping labels of 1,500 characters, each many display lines long.
    for (int number = 2001; number <= 2040; ++number) {
        scan(number, std::string(1500, static_cast<char>('A' + number % 26)));
    }
    ASSERT_TRUE(WaitForLog(app, newest + L"\r\n", 60s));
    std::vector<std::wstring> entries = LogEntries(app);
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(newest, entries.back());
    EXPECT_EQ(L"[... log truncated to keep memory usage low ...]", entries.front());
    EXPECT_LT(entries.size(), 1001u);
}

TEST_F(FieldFaultTest, PortEditedWhileStoppedIsPutInForceAtStart) {
    uint16_t target = FreeTcpPort();
    SetControlText(app.window, IDC_PORT, std::to_wstring(target));
    ASSERT_TRUE(RoundTrip(app));
    EXPECT_EQ(0u, Count(L"Port changed to"));
    StartCapture();
    EXPECT_TRUE(WaitForLog(
        app, L"Port changed to " + std::to_wstring(target) + L" - restarting TCP server..."));
    EXPECT_TRUE(WaitForLog(app, L"TCP server listening on port " + std::to_wstring(target)));
    SocketHandle client = ConnectClient(target);
    ASSERT_NE(InvalidSocket, client);
    EXPECT_TRUE(WaitForControlText(app.window, IDC_TCP_STATUS, L"Connected"));
    SocketClose(client);
    // A second start on the same port restarts nothing.
    PostCommand(app, IDC_START_STOP);
    ASSERT_TRUE(WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Disconnected"));
    StartCapture();
    ASSERT_TRUE(RoundTrip(app));
    EXPECT_EQ(1u, Count(L"Port changed to"));
}

TEST_F(FieldFaultTest, StatusAfterResetWithAClientWaitingIsTheTruth) {
    StartCapture();
    SocketHandle served = ConnectClient(port);
    ASSERT_TRUE(WaitForControlText(app.window, IDC_TCP_STATUS, L"Connected"));
    for (int reset = 1; reset <= 50; ++reset) {
        SocketHandle waiting = ConnectClient(port);  // in the backlog until the server is free
        ASSERT_NE(InvalidSocket, waiting);
        size_t connected = Count(L"Client connected:");
        PostCommand(app, IDC_RESET);
        ASSERT_TRUE(WaitForClose(served)) << reset;
        SocketClose(served);
        served = waiting;
        ASSERT_TRUE(WaitUntil([&] { return Count(L"Client connected:") > connected; })) << reset;
        // The server thread posted Listening before it took the waiting client; once that is
        // shown, the field can say Connected again only by the report that follows the line.
        ASSERT_TRUE(RoundTrip(app));
        ASSERT_TRUE(WaitForControlText(app.window, IDC_TCP_STATUS, L"Connected")) << reset;
    }
    SocketClose(served);
    EXPECT_TRUE(WaitForControlText(app.window, IDC_TCP_STATUS, L"Listening"));
}

TEST_F(FieldFaultTest, ForeignLogMessageIsHarmlessAndNoLineIsLost) {
    PostMessageW(app.window, 0x8002, 0, static_cast<LPARAM>(0xDEADBEEF));
    PostMessageW(app.window, 0x8002, 0x1234, 0);
    ASSERT_TRUE(RoundTrip(app));
    StartCapture();
    EXPECT_TRUE(WaitForLog(app, L"Capture started on"));
    EXPECT_EQ(1u, Count(L"Interception driver initialized."));
    EXPECT_EQ(1u, Count(L"TCP server listening on port"));
}

TEST_F(FieldFaultTest, EscInTheLogQuits) {
    PostCommand(app, IDC_LOG_TOGGLE);
    ASSERT_TRUE(WaitForControlText(app.window, IDC_LOG_TOGGLE, L"Hide L&og <<"));
    PostMessageW(GetDlgItem(app.window, IDC_LOG), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_EQ(0, WaitForExit(app));
}

TEST_F(FieldFaultTest, TabReachesTheCaseGroup) {
    EXPECT_NE(0, GetWindowLongW(GetDlgItem(app.window, IDC_CASE_UPPER), GWL_STYLE) & WS_TABSTOP);
}

class QuickRestartTest : public ProgramTest {};

TEST_F(QuickRestartTest, ACopyStartedWhileAnotherQuitsStartsAndOneThatRunsDoesNot) {
    // The mutex of a copy that is still quitting: held, with no window, for a second.
    HANDLE held = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread quitting([held] {
        HANDLE mutex = CreateMutexW(nullptr, TRUE, L"Global\\Wendalux_Singleton");
        SetEvent(held);
        Sleep(1000);
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    });
    WaitForSingleObject(held, 10000);
    CloseHandle(held);
    bool started = LaunchAndFindWindow(app, {});
    quitting.join();
    ASSERT_TRUE(started);
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(app.process.hProcess, 0));

    // A second copy while this one runs only shows it, and ends.
    App second;
    AppOptions noDriverWait;
    noDriverWait.driverUnavailable = true;
    ASSERT_TRUE(Launch(second, noDriverWait));
    EXPECT_EQ(0, WaitForExit(second));
    Kill(second);
}

}  // namespace
