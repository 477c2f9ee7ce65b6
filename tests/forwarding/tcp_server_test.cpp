#include "forwarding/tcp_server.h"

#include "forwarding/scan_frame.h"
#include "support/dialog_messages.h"
#include "support/test_client.h"
#include "support/test_environment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

namespace {

using namespace std::chrono_literals;

#ifdef _WIN32
// A bind with SO_REUSEADDR to a port held exclusively is refused as an access violation.
constexpr int AddressInUse = 10013;  // WSAEACCES
#else
constexpr int AddressInUse = 98;  // EADDRINUSE
#endif

// The server's end of the connection sends each frame at once (TCP_NODELAY).
bool ClientSocketSendsWithoutDelay() {
    std::lock_guard<std::mutex> lock(socketMutex);
#ifdef _WIN32
    BOOL on = FALSE;
    int size = sizeof on;
    return getsockopt(static_cast<SOCKET>(clientSocket), IPPROTO_TCP, TCP_NODELAY,
                      reinterpret_cast<char*>(&on), &size) == 0 &&
           on != FALSE;
#else
    int on = 0;
    socklen_t size = sizeof on;
    return getsockopt(static_cast<int>(clientSocket), IPPROTO_TCP, TCP_NODELAY, &on, &size) == 0 &&
           on != 0;
#endif
}

// The log so far, for failure messages.
std::string LogForMessage() {
    std::string text;
    for (const auto& line : LoggedTexts()) {
        for (wchar_t c : line) {
            text.push_back(c < 128 ? static_cast<char>(c) : '?');
        }
        text.push_back('\n');
    }
    return text;
}

size_t CountOf(const std::wstring& text) {
    auto texts = LoggedTexts();
    return static_cast<size_t>(std::count(texts.begin(), texts.end(), text));
}

class TcpServerTest : public ::testing::Test {
protected:
    uint16_t port = 0;
    std::wstring listeningLine;

    void SetUp() override {
        SocketLibraryStart();
        StartCollectingDialogMessages();
        port = FreeTcpPort();
        ASSERT_NE(0, port);
        tcpPort = port;
        listeningLine = L"TCP server listening on port " + std::to_wstring(port);
    }

    void TearDown() override {
        StopTcpServer();
        StopCollectingDialogMessages();
        tcpPort = DefaultTcpPort;
        clientReceive = SocketReceive;
        SocketLibraryStop();
    }

    void StartListening() {
        StartTcpServer();
        ASSERT_TRUE(WaitForLoggedText(listeningLine));
    }

    // Sends the scan's frame and reads it back whole at the client.
    static bool Delivered(SocketHandle client, const std::string& scan) {
        std::string frame = BuildScanFrame(scan);
        return SendScanFrame(scan) && ReadBytes(client, frame.size()) == frame;
    }

    SocketHandle ConnectAndWait(size_t connectionNumber) {
        SocketHandle client = ConnectClient(port);
        EXPECT_NE(InvalidSocket, client);
        EXPECT_TRUE(WaitForLoggedText(L"Client connected: 127.0.0.1", connectionNumber));
        return client;
    }
};

TEST_F(TcpServerTest, ListensAndReportsListening) {
    StartListening();
    EXPECT_TRUE(WaitForStatus(TcpListening));
    EXPECT_EQ(TcpListening, tcpStatus.load());
    EXPECT_EQ(port, serverPort.load());
    StopTcpServer();
    EXPECT_EQ(0, serverPort.load());
}

TEST_F(TcpServerTest, ClientComesIsIgnoredWhenItTalksAndGoes) {
    StartListening();
    SocketHandle client = ConnectAndWait(1);
    EXPECT_TRUE(WaitForStatus(TcpConnected));
    EXPECT_TRUE(ClientSocketSendsWithoutDelay());
    ASSERT_TRUE(SocketSendAll(client, "hello, server", 13, 1000));
    ASSERT_TRUE(SendScanFrame("1"));  // still connected after its bytes
    EXPECT_EQ(BuildScanFrame("1"), ReadBytes(client, 14));
    SocketClose(client);
    EXPECT_TRUE(WaitForLoggedText(L"Client disconnected."));
    EXPECT_TRUE(WaitForStatus(TcpListening));
    std::vector<std::wstring> expected = {listeningLine, L"Client connected: 127.0.0.1",
                                          L"Client disconnected."};
    EXPECT_EQ(expected, LoggedTexts());
}

TEST_F(TcpServerTest, SecondClientWaitsUntilTheFirstHasGone) {
    StartListening();
    SocketHandle first = ConnectAndWait(1);
    SocketHandle second = ConnectClient(port);
    ASSERT_NE(InvalidSocket, second);
    ASSERT_TRUE(SendScanFrame("A"));
    EXPECT_EQ(BuildScanFrame("A"), ReadBytes(first, 14));
    SocketClose(first);
    ASSERT_TRUE(WaitForLoggedText(L"Client connected: 127.0.0.1", 2));
    ASSERT_TRUE(SendScanFrame("B"));
    // B is the first thing the second client gets: A, sent while it waited, never reached it.
    EXPECT_EQ(BuildScanFrame("B"), ReadBytes(second, 14));
    EXPECT_EQ(1u, CountOf(listeningLine));
    SocketClose(second);
}

TEST_F(TcpServerTest, BusyPortIsRetriedEveryFiveSecondsAndStopIsQuick) {
    SocketHandle holder = SocketOpenStream();
#ifdef _WIN32
    BOOL exclusive = TRUE;  // a listener that refuses sharing
    setsockopt(static_cast<SOCKET>(holder), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
               reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
#endif
    ASSERT_TRUE(SocketBind(holder, AnyAddress, port));
    ASSERT_TRUE(SocketListen(holder, 1));
    int handles = OpenHandleCount();
    std::wstring failure = L"Bind failed on port " + std::to_wstring(port) + L" (code " +
                           std::to_wstring(AddressInUse) + L"). Retrying in 5s.";
    auto started = std::chrono::steady_clock::now();
    StartTcpServer();
    ASSERT_TRUE(WaitForLoggedText(failure, 2, 15s)) << LogForMessage();
    EXPECT_GE(std::chrono::steady_clock::now() - started, 4500ms);
    auto stopping = std::chrono::steady_clock::now();
    StopTcpServer();
    // Within the 100 ms retry steps; the bound only catches a stop that waits the pause out.
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, 3s);
    EXPECT_EQ(0u, CountOf(listeningLine));
    EXPECT_EQ(handles, OpenHandleCount()) << "a refused socket was left open";
    SocketClose(holder);
}

TEST_F(TcpServerTest, AReadyClientWithNothingToReadStaysConnected) {
    static std::atomic<int> reads{0};
    // The first read finds nothing, as when the network reports data it then discards.
    clientReceive = [](SocketHandle socket, char* buffer, int size) {
        return reads++ == 0 ? SocketWouldBlock : SocketReceive(socket, buffer, size);
    };
    StartListening();
    SocketHandle client = ConnectAndWait(1);
    ASSERT_TRUE(SocketSendAll(client, "?", 1, 1000));
    ASSERT_TRUE(WaitUntil([] { return reads >= 2; }));
    EXPECT_TRUE(Delivered(client, "still here"));
    EXPECT_EQ(0u, CountOf(L"Client disconnected."));
    SocketClose(client);
}

TEST_F(TcpServerTest, StopWhileConnectedClosesTheClientAndReportsDisconnectedLast) {
    StartListening();
    SocketHandle client = ConnectAndWait(1);
    ASSERT_TRUE(WaitForStatus(TcpConnected));
    ClearCollectedDialogMessages();
    StopTcpServer();
    EXPECT_TRUE(WaitForClose(client));
    EXPECT_EQ(std::vector<int>{TcpDisconnected}, ReportedStatuses());  // never Listening
    EXPECT_EQ(InvalidSocket, clientSocket);
    EXPECT_EQ(InvalidSocket, listenSocket);
    SocketClose(client);
}

TEST_F(TcpServerTest, StopThenStartTwentyTimesListensEachTime) {
    for (size_t round = 1; round <= 20; ++round) {
        StartTcpServer();
        ASSERT_TRUE(WaitForLoggedText(listeningLine, round));
        StopTcpServer();
    }
    EXPECT_EQ(20u, CountOf(listeningLine));
}

TEST_F(TcpServerTest, TwoScansGoOutAsTwoFramesBackToBack) {
    StartListening();
    SocketHandle client = ConnectAndWait(1);
    ASSERT_TRUE(SendScanFrame("AB\r"));
    ASSERT_TRUE(SendScanFrame("CD"));
    std::string expected = BuildScanFrame("AB\r") + BuildScanFrame("CD");
    EXPECT_EQ(expected, ReadBytes(client, expected.size()));
    SocketClose(client);
}

TEST_F(TcpServerTest, ClientThatStopsReadingIsDroppedAndTheNextOneIsServed) {
    StartListening();
    SocketHandle stalled = ConnectAndWait(1);
    std::string scan(7000, 'Z');
    bool sent = true;
    int frames = 0;
    while (sent && frames < 100000) {
        auto before = std::chrono::steady_clock::now();
        sent = SendScanFrame(scan);
        // Two seconds of waiting for room at most; the bound only catches a send that hangs.
        EXPECT_LT(std::chrono::steady_clock::now() - before, 5s);
        frames += sent ? 1 : 0;
    }
    EXPECT_FALSE(sent);
    EXPECT_EQ(InvalidSocket, clientSocket);
    EXPECT_FALSE(SendScanFrame("lost"));
    EXPECT_TRUE(WaitForStatus(TcpListening));
    // The stalled client gets every frame counted as sent, whole, then at most a piece of
    // the failed one, then the end of the connection.
    std::string frame = BuildScanFrame(scan);
    std::string received = ReadBytes(stalled, frame.size() * (frames + 1), 20s);
    std::string sentFrames;
    for (int k = 0; k < frames; ++k) {
        sentFrames += frame;
    }
    ASSERT_GE(received.size(), sentFrames.size());
    EXPECT_TRUE(received.compare(0, sentFrames.size(), sentFrames) == 0);
    EXPECT_LT(received.size(), sentFrames.size() + frame.size());
    EXPECT_TRUE(WaitForClose(stalled));
    SocketClose(stalled);

    SocketHandle next = ConnectAndWait(2);
    EXPECT_TRUE(Delivered(next, "next"));
    SocketClose(next);
}

TEST_F(TcpServerTest, DroppedConnectionSendsTheServerBackToAccepting) {
    StartListening();
    SocketHandle client = ConnectAndWait(1);
    CloseClientConnection();
    EXPECT_TRUE(WaitForClose(client));
    EXPECT_TRUE(WaitForStatus(TcpListening));
    EXPECT_EQ(0u, CountOf(L"Client disconnected."));
    SocketClose(client);
    SocketHandle again = ConnectAndWait(2);
    EXPECT_TRUE(Delivered(again, "ok"));
    SocketClose(again);
}

TEST_F(TcpServerTest, ThousandConnectionsClosedFromEitherSideWhileScansAreSent) {
    StartListening();
    int delivered = 0;
    for (size_t cycle = 1; cycle <= 1000; ++cycle) {
        SocketHandle client = ConnectAndWait(cycle);
        delivered += Delivered(client, "cycle");
        // Every third connection is dropped by the program while the client closes too.
        if (cycle % 3 == 0) {
            CloseClientConnection();
        }
        SocketClose(client);
        SendScanFrame("after close");
    }
    EXPECT_EQ(1000, delivered);
    SocketHandle last = ConnectAndWait(1001);
    EXPECT_TRUE(Delivered(last, "last"));
    SocketClose(last);
    std::printf("1000 connect/close cycles, %d frames delivered\n", delivered);
}

}  // namespace

namespace {

TEST_F(TcpServerTest, BrokenListeningSocketIsReopenedAfterAPauseNotSpunOn) {
    StartListening();
    auto broken = std::chrono::steady_clock::now();
    {
        // Closed under the server's feet: every wait on it fails from now on.
        std::lock_guard<std::mutex> lock(socketMutex);
        SocketClose(listenSocket);
    }
    const std::wstring failed = L"TCP server wait failed";
    auto failures = [&] {
        size_t count = 0;
        for (const auto& text : LoggedTexts()) {
            count += text.rfind(failed, 0) == 0;
        }
        return count;
    };
    ASSERT_TRUE(WaitUntil([&] { return failures() == 1; })) << LogForMessage();
    // A fresh listening socket after the 5-second pause, and no second try before it.
    ASSERT_TRUE(WaitForLoggedText(listeningLine, 2)) << LogForMessage();
    EXPECT_GE(std::chrono::steady_clock::now() - broken, 4500ms);
    EXPECT_EQ(1u, failures());
    SocketHandle client = ConnectClient(port);
    EXPECT_NE(InvalidSocket, client);
    SocketClose(client);
}

}  // namespace
