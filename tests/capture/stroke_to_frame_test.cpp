// A key stroke typed on the stand-in driver's keyboard travels through translation, the key
// queue and scan assembly to a TCP client as one frame.
#include "capture/capture_control.h"
#include "capture/capture_thread.h"
#include "devices/device_identity.h"
#include "capture/key_queue.h"
#include "capture/scan_assembly.h"
#include "forwarding/scan_frame.h"
#include "forwarding/tcp_server.h"
#include "support/dialog_messages.h"
#include "support/sim_session.h"
#include "support/test_client.h"
#include "support/test_environment.h"

#include <gtest/gtest.h>

namespace {

TEST(StrokeToFrame, ScanTypedOnTheCapturedKeyboardReachesTheClient) {
    SimSession sim;
    ASSERT_TRUE(sim.Open("1=ACPI\\PNP0303;2=HID\\VID_1234&PID_ABCD&REV_0100&MI_00"));
    StartCollectingDialogMessages();
    tcpPort = FreeTcpPort();
    StartTcpServer();
    ASSERT_TRUE(WaitForStatus(TcpListening));
    SocketHandle client = ConnectClient(tcpPort);
    ASSERT_TRUE(WaitForStatus(TcpConnected));

    ScanBufferClear();
    scanCounter = 0;
    ASSERT_TRUE(StartCaptureThread(CaptureTargetFor(LiveHardwareId(2), 2, 1), false));
    captureActive = true;
    ASSERT_TRUE(WaitUntil([&] { return sim.Command("filter 2") == "65535"; }));

    ASSERT_EQ("ok", sim.Command("scan 2 AB7"));
    ASSERT_EQ("ok", sim.Command("type 1 q"));
    const std::string expected = std::string("\xDD\xFETOVAK\x01\xFE\xDE") + "[65][66][55][13]";
    // The dialog's 30 ms timer, played by this loop.
    WaitUntil([] {
        ProcessKeyEvents();
        return scanCounter.load() == 1;
    });
    EXPECT_EQ(expected, ReadBytes(client, expected.size()));
    EXPECT_TRUE(WaitForLoggedText(L"SCAN #1 -> AB7"));

    // The other keyboard's q went on to the system, press and release.
    std::vector<std::string> passed;
    WaitUntil([&] {
        for (auto& line : sim.System()) {
            passed.push_back(line);
        }
        return passed.size() >= 2;
    });
    EXPECT_EQ((std::vector<std::string>{"1 16 0", "1 16 1"}), passed);

    captureActive = false;
    StopCaptureThread();
    SocketClose(client);
    StopTcpServer();
    StopCollectingDialogMessages();
    sim.Close();
}

}  // namespace
