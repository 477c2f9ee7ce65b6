#include "forwarding/tcp_server.h"

#include "forwarding/accept_rule.h"
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
#include <linux/filter.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

namespace {

using namespace std::chrono_literals;

#ifdef _WIN32
// Wine refuses a bind to a port that another socket holds exclusively as an access violation.
constexpr int AddressInUse = 10013;  // WSAEACCES
#else
constexpr int AddressInUse = 98;  // EADDRINUSE
#endif

constexpr uint32_t OtherLoopbackAddress = 0x7F000003;  // 127.0.0.3

// An int option of the server's socket, read under its lock; -1 when it cannot be read.
int OptionOf(const SocketHandle& socket, int level, int name) {
    std::lock_guard<std::mutex> lock(socketMutex);
    int value = 0;
#ifdef _WIN32
    int size = sizeof value;
    bool read = getsockopt(static_cast<SOCKET>(socket), level, name,
                           reinterpret_cast<char*>(&value), &size) == 0;
#else
    socklen_t size = sizeof value;
    bool read = getsockopt(static_cast<int>(socket), level, name, &value, &size) == 0;
#endif
    return read ? value : -1;
}

// A listening socket on the port that refuses sharing, as another program's may.
SocketHandle HoldPort(uint16_t port) {
    SocketHandle holder = SocketOpenStream();
#ifdef _WIN32
    BOOL exclusive = TRUE;
    setsockopt(static_cast<SOCKET>(holder), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
               reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
#endif
    EXPECT_TRUE(SocketBind(holder, AnyAddress, port));
    EXPECT_TRUE(SocketListen(holder, 1));
    return holder;
}

std::wstring BindFailure(uint16_t port) {
    return L"Bind failed on port " + std::to_wstring(port) + L" (code " +
           std::to_wstring(AddressInUse) + L"). Retrying in 5s.";
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
        acceptRule = AcceptRule{};
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

// The window decides whether a port change needs a restart by the port recorded at start, and
// it may ask before the server thread has run at all.
TEST_F(TcpServerTest, ThePortIsRecordedWhenStartReturnsAndKeptWhileServing) {
    StartTcpServer();
    EXPECT_EQ(port, serverPort.load());
    ASSERT_TRUE(WaitForLoggedText(listeningLine));
    tcpPort = static_cast<uint16_t>(port + 1);
    EXPECT_EQ(port, serverPort.load());
}

TEST_F(TcpServerTest, ListensAndReportsListening) {
    StartListening();
    EXPECT_TRUE(WaitForStatus(TcpListening));
    EXPECT_EQ(TcpListening, tcpStatus.load());
    EXPECT_EQ(port, serverPort.load());
#ifdef _WIN32
    // No other program can bind the port and take the connections meant for this one.
    EXPECT_EQ(1, OptionOf(listenSocket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE));
#else
    EXPECT_EQ(1, OptionOf(listenSocket, SOL_SOCKET, SO_REUSEADDR));
#endif
    StopTcpServer();
    EXPECT_EQ(0, serverPort.load());
}

TEST_F(TcpServerTest, ClientComesIsIgnoredWhenItTalksAndGoes) {
    StartListening();
    SocketHandle client = ConnectAndWait(1);
    EXPECT_TRUE(WaitForStatus(TcpConnected));
    EXPECT_EQ(1, OptionOf(clientSocket, IPPROTO_TCP, TCP_NODELAY));
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

struct Option {
    int level;
    int name;
    int value;
};

// Keep-alive, and on Linux the values that find a silent client within about 15 seconds.
const Option KeepAliveOptions[] = {
    {SOL_SOCKET, SO_KEEPALIVE, 1},
#ifndef _WIN32
    {IPPROTO_TCP, TCP_KEEPIDLE, 5}, {IPPROTO_TCP, TCP_KEEPINTVL, 1},
    {IPPROTO_TCP, TCP_KEEPCNT, 10}, {IPPROTO_TCP, TCP_USER_TIMEOUT, 15000},
#endif
};

TEST_F(TcpServerTest, TheServedConnectionHasKeepAlive) {
    StartListening();
    SocketHandle client = ConnectAndWait(1);
    for (const Option& option : KeepAliveOptions) {
        EXPECT_EQ(option.value, OptionOf(clientSocket, option.level, option.name)) << option.name;
    }
    SocketClose(client);
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
    SocketHandle holder = HoldPort(port);
    int handles = OpenHandleCount();
    std::wstring failure = BindFailure(port);
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

TEST_F(TcpServerTest, LocalOnlyCannotBeReachedAtAnotherAddress) {
    acceptRule.localOnly = true;
    StartListening();
    // 127.0.0.2 is this computer too, but not the address the server listens on.
    EXPECT_EQ(InvalidSocket, SocketConnect(0x7F000002, port));
    SocketHandle client = ConnectAndWait(1);
    EXPECT_TRUE(Delivered(client, "local"));
    SocketClose(client);
}

TEST_F(TcpServerTest, AddressesLeftOutOfTheAcceptListAreClosedAndLoggedOnce) {
    acceptRule.allowed = {LoopbackAddress};
    StartListening();
    for (int attempt = 0; attempt < 5; ++attempt) {
        SocketHandle outsider = SocketConnect(LoopbackAddress, port, OtherLoopbackAddress);
        ASSERT_NE(InvalidSocket, outsider);
        EXPECT_TRUE(WaitForClose(outsider));
        SocketClose(outsider);
    }
    SocketHandle client = ConnectAndWait(1);
    EXPECT_TRUE(Delivered(client, "listed"));
    EXPECT_EQ(1u, CountOf(L"Connection from 127.0.0.3 refused: it is not in the Accept list."))
        << LogForMessage();
    EXPECT_EQ(0u, CountOf(L"Client connected: 127.0.0.3"));
    SocketClose(client);
}

TEST_F(TcpServerTest, NoHandleIsLeftByFailedListensRefusalsResetsAndConnections) {
    acceptRule.allowed = {LoopbackAddress};
    int handles = OpenHandleCount();
    SocketHandle holder = HoldPort(port);
    StartTcpServer();
    ASSERT_TRUE(WaitForLoggedText(BindFailure(port))) << LogForMessage();
    SocketClose(holder);
    ASSERT_TRUE(WaitForLoggedText(listeningLine));
    for (size_t cycle = 1; cycle <= 200; ++cycle) {
        SocketHandle outsider = SocketConnect(LoopbackAddress, port, OtherLoopbackAddress);
        EXPECT_TRUE(WaitForClose(outsider));
        SocketClose(outsider);
        SocketHandle client = ConnectAndWait(cycle);
        if (cycle % 2 == 0) {
            CloseClientConnection();  // Reset
        }
        SocketClose(client);
    }
    StopTcpServer();
    EXPECT_TRUE(WaitUntil([&] { return OpenHandleCount() == handles; }))
        << OpenHandleCount() << " handles open, " << handles << " before";
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

#ifndef _WIN32
namespace {

TEST_F(TcpServerTest, AProbeLooksForTheClientEverySecondForFifteenSeconds) {
    StartListening();
    SocketHandle client = ConnectAndWait(1);
    auto probed = std::chrono::steady_clock::now();
    ProbeClientConnection();
    EXPECT_EQ(1, OptionOf(clientSocket, IPPROTO_TCP, TCP_KEEPIDLE));
    EXPECT_TRUE(WaitUntil([] { return OptionOf(clientSocket, IPPROTO_TCP, TCP_KEEPIDLE) == 5; }));
    EXPECT_GE(std::chrono::steady_clock::now() - probed, 15s);
    EXPECT_TRUE(Delivered(client, "still served"));
    SocketClose(client);
}

TEST_F(TcpServerTest, AClientThatStoppedAnsweringIsDroppedAndTheWaitingOneServed) {
    StartListening();
    SocketHandle silent = ConnectAndWait(1);
    SocketHandle waiting = ConnectClient(port);
    ASSERT_NE(InvalidSocket, waiting);
    // As if its computer had gone: every segment that reaches its socket is dropped unanswered.
    sock_filter dropAll = BPF_STMT(BPF_RET | BPF_K, 0);
    sock_fprog program = {1, &dropAll};
    if (setsockopt(static_cast<int>(silent), SOL_SOCKET, SO_ATTACH_FILTER, &program,
                   sizeof program) != 0) {
        GTEST_SKIP() << "no socket filter can be attached here, so no client can be silenced";
    }
    EXPECT_TRUE(WaitForLoggedText(
        L"Client connection lost: its computer stopped answering (error 110).", 1, 30s))
        << LogForMessage();
    ASSERT_TRUE(WaitForLoggedText(L"Client connected: 127.0.0.1", 2));
    EXPECT_TRUE(Delivered(waiting, "next"));
    SocketClose(waiting);
    SocketClose(silent);
}

}  // namespace
#endif
