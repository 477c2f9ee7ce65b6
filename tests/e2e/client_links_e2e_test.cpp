// The client's connection as a real network and real clients use it: scans held for a client
// that is away, and who may connect.
#include "e2e/program_test.h"

#include "forwarding/scan_frame.h"
#include "resources/resource.h"
#include "support/test_client.h"
#include "support/test_environment.h"

#include <gtest/gtest.h>

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
