// The client's connection as a real network and real clients use it: scans held for a client
// that is away, and who may connect.
#include "e2e/program_test.h"

#include "forwarding/scan_frame.h"
#include "resources/resource.h"
#include "support/test_client.h"
#include "support/test_environment.h"

#include <gtest/gtest.h>

#include <winsock2.h>

namespace {

using namespace std::chrono_literals;

class ClientLinksTest : public ProgramTest {
protected:
    void Start(const std::string& tcpOptions) {
        WriteSettings(ConfigFor(2, port) + tcpOptions);
        ASSERT_TRUE(LaunchAndFindWindow(app, {}));
        PostCommand(app, IDC_START_STOP);
        ASSERT_TRUE(WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Connected"));
        ASSERT_TRUE(WaitForControlText(app.window, IDC_TCP_STATUS, L"Listening"));
    }
};

// A client socket bound to a loopback address of the test's choosing before it connects to
// 127.0.0.1; InvalidSocket when the connection is refused.
SocketHandle ConnectFrom(const char* from, const char* to, uint16_t port) {
    SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = inet_addr(from);
    sockaddr_in remote = {};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(port);
    remote.sin_addr.s_addr = inet_addr(to);
    if (::bind(socket, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::connect(socket, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
        ::closesocket(socket);
        return InvalidSocket;
    }
    return static_cast<SocketHandle>(socket);
}

// Chosen in the window, "local" puts the server on 127.0.0.1 alone.
TEST_F(ClientLinksTest, LocalServesThisComputerOnly) {
    Start("");
    HWND accept = GetDlgItem(app.window, IDC_ACCEPT);
    SendMessageW(accept, CB_SETCURSEL, 1, 0);
    PostCommand(app, IDC_ACCEPT, CBN_SELCHANGE);
    ASSERT_TRUE(WaitForLog(app, L"Accept changed to local - restarting TCP server..."));
    ASSERT_TRUE(WaitForControlText(app.window, IDC_LOCAL_IP, L"127.0.0.1 (this computer only)"));
    ASSERT_TRUE(WaitForControlText(app.window, IDC_TCP_STATUS, L"Listening"));
    EXPECT_NE(std::string::npos, ReadSettingsFile(L"config.ini").find("Accept=local\r\n"));
    EXPECT_EQ(InvalidSocket, ConnectFrom("127.0.0.2", "127.0.0.2", port));
    client = ConnectFrom("127.0.0.1", "127.0.0.1", port);
    ASSERT_NE(InvalidSocket, client);
    ASSERT_TRUE(WaitForControlText(app.window, IDC_TCP_STATUS, L"Connected"));
}

// A list of addresses: anyone else is closed at once and logged, once however often it comes.
TEST_F(ClientLinksTest, AListClosesEveryOtherAddressAndServesItsOwn) {
    Start("Accept=127.0.0.1\r\n");
    EXPECT_EQ(L"127.0.0.1", ControlText(app.window, IDC_ACCEPT));
    for (int attempt = 0; attempt < 3; ++attempt) {
        SocketHandle stranger = ConnectFrom("127.0.0.3", "127.0.0.1", port);
        ASSERT_NE(InvalidSocket, stranger);
        EXPECT_TRUE(WaitForClose(stranger));
        SocketClose(stranger);
    }
    const std::wstring refused =
        L"Connection from 127.0.0.3 refused: it is not in the Accept list.";
    ASSERT_TRUE(WaitForLog(app, refused));
    client = ConnectFrom("127.0.0.1", "127.0.0.1", port);
    ASSERT_NE(InvalidSocket, client);
    ASSERT_TRUE(WaitForControlText(app.window, IDC_TCP_STATUS, L"Connected"));
    ASSERT_EQ("ok", SimCommand(app, "scan 2 OURS"));
    std::string frame = BuildScanFrame("OURS\r");
    EXPECT_EQ(frame, ReadBytes(client, frame.size()));
    std::wstring log = LogText(app);
    EXPECT_EQ(log.find(refused), log.rfind(refused));
    PostMessageW(app.window, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    EXPECT_TRUE(WaitForLog(app, L"Resumed from sleep: the client connection is checked."));
    ASSERT_EQ("ok", SimCommand(app, "scan 2 AFTER"));
    frame = BuildScanFrame("AFTER\r");
    EXPECT_EQ(frame, ReadBytes(client, frame.size()));
}

// A client that restarts gets what was scanned meanwhile, in order, unless it is too old.
TEST_F(ClientLinksTest, HeldScansReachALateClientInOrderAndExpiredOnesDoNot) {
    Start("HoldScans=10\r\nHoldSeconds=15\r\n");
    ASSERT_EQ("ok", SimCommand(app, "scan 2 OLD"));
    ASSERT_TRUE(WaitForControlText(app.window, IDC_TCP_STATUS, L"Listening - 1 held"));
    ASSERT_TRUE(WaitForLog(app, L"Held scan #1 expired: no client took it within 15 s.", 60s));
    ASSERT_TRUE(WaitForControlText(app.window, IDC_TCP_STATUS, L"Listening"));
    for (const char* code : {"FIRST", "SECOND"}) {
        ASSERT_EQ("ok", SimCommand(app, std::string("scan 2 ") + code));
    }
    ASSERT_TRUE(WaitForControlText(app.window, IDC_TCP_STATUS, L"Listening - 2 held"));
    client = ConnectClient(port);
    std::string frames = BuildScanFrame("FIRST\r") + BuildScanFrame("SECOND\r");
    EXPECT_EQ(frames, ReadBytes(client, frames.size()));
    ASSERT_EQ("ok", SimCommand(app, "scan 2 THIRD"));
    frames = BuildScanFrame("THIRD\r");
    EXPECT_EQ(frames, ReadBytes(client, frames.size()));
    EXPECT_TRUE(WaitForLog(app, L"SCAN #2 -> FIRST (no client) - held, 1 waiting\r\n"));
    EXPECT_TRUE(WaitForLog(app, L"Held scans delivered: 2 (#2 to #3).\r\n"));
    EXPECT_TRUE(WaitForLog(app, L"SCAN #4 -> THIRD\r\n"));
    EXPECT_TRUE(WaitForControlText(app.window, IDC_TCP_STATUS, L"Connected"));
}

}  // namespace
