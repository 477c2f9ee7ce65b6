#include "capture/scan_assembly.h"

#include "capture/capture_control.h"
#include "capture/key_queue.h"
#include "forwarding/held_scans.h"
#include "forwarding/scan_frame.h"
#include "forwarding/tcp_server.h"
#include "support/dialog_messages.h"
#include "support/test_client.h"

#include <gtest/gtest.h>

namespace {

class ScanAssemblyTest : public ::testing::Test {
protected:
    SocketHandle client = InvalidSocket;

    void SetUp() override {
        SocketLibraryStart();
        StartCollectingDialogMessages();
        KeyQueueClear();
        ScanBufferClear();
        scanCounter = 0;
        includeEnter = true;
        captureActive = true;
    }

    void TearDown() override {
        captureActive = false;
        DropHeldScans();
        holdScans = 0;
        holdSeconds = DefaultHoldSeconds;
        if (client != InvalidSocket) {
            SocketClose(client);
        }
        StopTcpServer();
        StopCollectingDialogMessages();
        SocketLibraryStop();
    }

    void ConnectClient() {
        tcpPort = FreeTcpPort();
        StartTcpServer();
        ASSERT_TRUE(WaitForStatus(TcpListening));
        client = ::ConnectClient(tcpPort);
        ASSERT_NE(InvalidSocket, client);
        ASSERT_TRUE(WaitForStatus(TcpConnected));
        ClearCollectedDialogMessages();
    }

    // Queues one key event per byte; CR is the end of a scan.
    static void Type(const std::string& text) {
        for (char c : text) {
            KeyQueueAppend(
                {c == '\r' ? KeyEventKind::End : KeyEventKind::Character, static_cast<uint8_t>(c)});
        }
    }

    std::string Received(const std::string& expected) { return ReadBytes(client, expected.size()); }
};

TEST_F(ScanAssemblyTest, EnterInTheMiddleOfATickSendsOneScanAndKeepsTheRest) {
    ASSERT_NO_FATAL_FAILURE(ConnectClient());
    Type("AB\rCD");
    ProcessKeyEvents();
    std::string frame = BuildScanFrame("AB\r");
    EXPECT_EQ(frame, Received(frame));
    EXPECT_EQ(std::vector<std::wstring>{L"SCAN #1 -> AB"}, LoggedTexts());
    EXPECT_EQ("CD", ScanBufferContents());
}

TEST_F(ScanAssemblyTest, SecondEnterInARowIsIgnored) {
    ASSERT_NO_FATAL_FAILURE(ConnectClient());
    Type("X\r\r");
    ProcessKeyEvents();
    Type("Y\r");
    ProcessKeyEvents();
    std::string frames = BuildScanFrame("X\r") + BuildScanFrame("Y\r");
    EXPECT_EQ(frames, Received(frames));
    EXPECT_EQ(2u, scanCounter.load());
    std::vector<std::wstring> expected = {L"SCAN #1 -> X", L"SCAN #2 -> Y"};
    EXPECT_EQ(expected, LoggedTexts());
}

TEST_F(ScanAssemblyTest, PayloadCarriesTheCrOnlyWhenIncludeEnterIsOn) {
    ASSERT_NO_FATAL_FAILURE(ConnectClient());
    Type("123\r");
    ProcessKeyEvents();
    std::string withCr = std::string("\xDD\xFETOVAK\x01\xFE\xDE") + "[49][50][51][13]";
    EXPECT_EQ(withCr, Received(withCr));
    includeEnter = false;
    Type("123\r");
    ProcessKeyEvents();
    std::string withoutCr = BuildScanFrame("123");
    EXPECT_EQ(withoutCr, Received(withoutCr));
    std::vector<std::wstring> expected = {L"SCAN #1 -> 123", L"SCAN #2 -> 123"};
    EXPECT_EQ(expected, LoggedTexts());
}

TEST_F(ScanAssemblyTest, ControlBytesStayInsideTheScanAndTheLogNamesThem) {
    ASSERT_NO_FATAL_FAILURE(ConnectClient());
    Type(std::string("a\x08\x09\x1b\x01\x1a\x1d\x1e\x04\x00z\r", 12));
    ProcessKeyEvents();
    Type(
        "[)>\x1e"
        "06\x1d"
        "1PAB\x1e\x04\r");
    ProcessKeyEvents();
    std::string frames =
        BuildScanFrame(std::string("a\x08\x09\x1b\x01\x1a\x1d\x1e\x04\x00z\r", 12)) +
        BuildScanFrame(
            "[)>\x1e"
            "06\x1d"
            "1PAB\x1e\x04\r");
    EXPECT_EQ(frames, Received(frames));
    EXPECT_NE(std::string::npos, frames.find("[97][8][9][27][1][26][29][30][4][0][122][13]"));
    EXPECT_EQ((std::vector<std::wstring>{L"SCAN #1 -> a<BS><HT><ESC><SOH><SUB><GS><RS><EOT><NUL>z",
                                         L"SCAN #2 -> [)><RS>06<GS>1PAB<RS><EOT>"}),
              LoggedTexts());
}

TEST_F(ScanAssemblyTest, TextOf64KiBWithoutAnEnterIsDiscardedWithALogLine) {
    ASSERT_NO_FATAL_FAILURE(ConnectClient());
    Type(std::string(65536, '7'));
    ProcessKeyEvents();
    Type("8\r");
    ProcessKeyEvents();
    std::string frame = BuildScanFrame("8\r");
    EXPECT_EQ(frame, Received(frame));
    EXPECT_EQ((std::vector<std::wstring>{L"Scan discarded: 65536 bytes without an Enter. Check "
                                         L"the scanner's Enter suffix.",
                                         L"SCAN #1 -> 8"}),
              LoggedTexts());
}

TEST_F(ScanAssemblyTest, AScannerGoneMidScanTakesItsHalfScanAlong) {
    ASSERT_NO_FATAL_FAILURE(ConnectClient());
    Type("4006");
    KeyQueueAppend({KeyEventKind::DeviceLeft});
    KeyQueueAppend({KeyEventKind::DeviceLeft});  // gone again with nothing typed: nothing to say
    Type("123\r");
    ProcessKeyEvents();
    std::string frame = BuildScanFrame("123\r");
    EXPECT_EQ(frame, Received(frame));
    EXPECT_EQ(
        (std::vector<std::wstring>{L"Scanner gone in the middle of a scan: 4 characters dropped.",
                                   L"SCAN #1 -> 123"}),
        LoggedTexts());
}

TEST_F(ScanAssemblyTest, ScanWithoutAClientIsStillCountedAndLogged) {
    Type("LOST\r");
    ProcessKeyEvents();
    EXPECT_EQ(1u, scanCounter.load());
    EXPECT_EQ(std::vector<std::wstring>{L"SCAN #1 -> LOST (no client)"}, LoggedTexts());
    EXPECT_EQ("", ScanBufferContents());
}

// With HoldScans, scans no client took reach the next one first and in order.
TEST_F(ScanAssemblyTest, HeldScansReachTheNextClientFirstAndInOrder) {
    holdScans = 5;
    Type("A\rB\r");
    ProcessKeyEvents();
    EXPECT_EQ((std::vector<std::wstring>{L"SCAN #1 -> A (no client) - held, 1 waiting",
                                         L"SCAN #2 -> B (no client) - held, 2 waiting"}),
              LoggedTexts());
    ASSERT_NO_FATAL_FAILURE(ConnectClient());
    Type("C\r");  // before the dialog has heard of the client
    ProcessKeyEvents();
    std::string frames = BuildScanFrame("A\r") + BuildScanFrame("B\r") + BuildScanFrame("C\r");
    EXPECT_EQ(frames, Received(frames));
    EXPECT_EQ((std::vector<std::wstring>{L"Held scans delivered: 2 (#1 to #2).", L"SCAN #3 -> C"}),
              LoggedTexts());
}

TEST_F(ScanAssemblyTest, HeldScansAreBoundedInNumberAndAge) {
    holdScans = 2;
    holdSeconds = 60;
    auto start = HeldClock::now();
    for (uint64_t number = 1; number <= 3; ++number) {
        HoldScan(number, "x", start + std::chrono::seconds(number));
    }
    // No client: #2, 60 s old, expires; #3, 59 s old, stays.
    EXPECT_FALSE(DeliverHeldScans(start + std::chrono::seconds(62)));
    EXPECT_EQ(1u, HeldScanCount());
    DropHeldScans();
    EXPECT_EQ(0u, HeldScanCount());
    EXPECT_EQ((std::vector<std::wstring>{L"Held scan #1 dropped: 2 scans are held already.",
                                         L"Held scan #2 expired: no client took it within 60 s.",
                                         L"Quit: 1 held scan(s) dropped, never delivered."}),
              LoggedTexts());
}

TEST_F(ScanAssemblyTest, NothingHappensWhileCaptureIsStopped) {
    captureActive = false;
    Type("ab\r");
    ProcessKeyEvents();
    EXPECT_EQ(0u, scanCounter.load());
    EXPECT_EQ(3u, KeyQueueTakeAll().size());
}

TEST_F(ScanAssemblyTest, LargeTwoDimensionalCodeArrivesByteExact) {
    ASSERT_NO_FATAL_FAILURE(ConnectClient());
    std::string code;
    for (int k = 0; k < 7000; ++k) {
        code.push_back("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-./+%$ "[k % 43]);
    }
    // In one tick, then spread over 500 ticks of 14 characters each.
    Type(code + "\r");
    ProcessKeyEvents();
    for (size_t at = 0; at < code.size(); at += 14) {
        Type(code.substr(at, 14));
        ProcessKeyEvents();
    }
    Type("\r");
    ProcessKeyEvents();
    std::string frames = BuildScanFrame(code + "\r") + BuildScanFrame(code + "\r");
    EXPECT_EQ(frames, Received(frames));
    EXPECT_EQ(2u, scanCounter.load());
}

}  // namespace
