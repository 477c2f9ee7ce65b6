#include "forwarding/tcp_server.h"

#include "common/app_messages.h"
#include "common/dialog_post.h"
#include "common/log_line.h"
#include "common/text_conversion.h"
#include "forwarding/accept_rule.h"

#include <chrono>
#include <optional>
#include <string>
#include <system_error>

std::atomic<uint16_t> tcpPort{DefaultTcpPort};
SocketHandle listenSocket = InvalidSocket;
SocketHandle clientSocket = InvalidSocket;
std::mutex socketMutex;
std::atomic<bool> serverStopFlag{false};
std::thread serverThread;
std::atomic<int> tcpStatus{TcpDisconnected};
std::atomic<uint16_t> serverPort{0};
int (*clientReceive)(SocketHandle socket, char* buffer, int size) = SocketReceive;

namespace {

// Wakes the server thread out of its one-second waits: on a stop, and when another thread
// drops the connection. Guarded by socketMutex; lives from StartTcpServer to StopTcpServer.
SocketHandle serverWaker = InvalidSocket;

constexpr int WaitMilliseconds = 1000;
constexpr int RetrySteps = 50;
constexpr auto RetryStep = std::chrono::milliseconds(100);
constexpr int ReadChunk = 64;

// A client that stopped answering is found within about 15 seconds, whether it was idle
// (keep-alive) or had sent data waiting for its acknowledgement (the retransmission limit).
constexpr int KeepAliveIdleSeconds = 5;
constexpr int KeepAliveIntervalSeconds = 1;
constexpr int RetransmissionLimitSeconds = 15;
// ProbeClientConnection: a probe after a second of silence, for this long.
constexpr int ProbeIdleSeconds = 1;
constexpr auto ProbeDuration = std::chrono::seconds(15);

using Clock = std::chrono::steady_clock;
// When the probing asked for by ProbeClientConnection ends; guarded by socketMutex. The epoch:
// no probing.
Clock::time_point probeEnds{};

// The 5-second pause between attempts, cut short by a stop so that quitting never waits it
// out.
void PauseBeforeRetry() {
    for (int step = 0; step < RetrySteps && !serverStopFlag.load(); ++step) {
        std::this_thread::sleep_for(RetryStep);
    }
}

SocketHandle Waker() {
    std::lock_guard<std::mutex> lock(socketMutex);
    return serverWaker;
}

// Opens, binds and listens; InvalidSocket after a failed attempt (already paused for).
SocketHandle OpenListeningSocket() {
    SocketHandle socket = SocketOpenStream();
    if (socket == InvalidSocket) {
        PauseBeforeRetry();
        return InvalidSocket;
    }
    SocketClaimPort(socket);
    uint16_t port = tcpPort.load();
    serverPort = port;
    // Bound to the loopback address alone, the port cannot be reached from the network.
    if (!SocketBind(socket, acceptRule.localOnly ? LoopbackAddress : AnyAddress, port)) {
        int error = SocketLastError();
        LogLine(L"Bind failed on port " + std::to_wstring(port) + L" (code " +
                std::to_wstring(error) + L"). Retrying in 5s.");
        SocketClose(socket);
        PauseBeforeRetry();
        return InvalidSocket;
    }
    if (!SocketListen(socket, 1)) {
        SocketClose(socket);
        PauseBeforeRetry();
        return InvalidSocket;
    }
    {
        std::lock_guard<std::mutex> lock(socketMutex);
        listenSocket = socket;
    }
    LogLine(L"TCP server listening on port " + std::to_wstring(port));
    SetTcpStatus(TcpListening);
    return socket;
}

bool StillRecorded(SocketHandle connection) {
    std::lock_guard<std::mutex> lock(socketMutex);
    return clientSocket == connection;
}

// The usual keep-alive once ProbeClientConnection's probing is over and the connection is
// still there.
void EndProbingWhenDue(SocketHandle connection) {
    std::lock_guard<std::mutex> lock(socketMutex);
    if (probeEnds != Clock::time_point{} && Clock::now() >= probeEnds &&
        clientSocket == connection) {
        SocketKeepAlive(connection, KeepAliveIdleSeconds, KeepAliveIntervalSeconds);
        probeEnds = Clock::time_point{};
    }
}

enum class ConnectionEnd { Stopped, ClosedByPeer, Failed, DroppedHere, WaitFailed };

// On Failed, error holds the failed read's code.
ConnectionEnd WatchConnection(SocketHandle connection, SocketHandle waker, int& error) {
    char discarded[ReadChunk];
    while (!serverStopFlag.load()) {
        EndProbingWhenDue(connection);
        SocketWait wait = SocketWaitReadable(connection, waker, WaitMilliseconds);
        if (wait == SocketWait::Failed) {
            return ConnectionEnd::WaitFailed;
        }
        if (wait == SocketWait::Woken) {
            SocketDrainWaker(waker);
        }
        if (!StillRecorded(connection)) {
            return ConnectionEnd::DroppedHere;
        }
        if (wait != SocketWait::Ready) {
            continue;
        }
        // Whatever the client sends is read and ignored.
        int count = clientReceive(connection, discarded, ReadChunk);
        if (count > 0 || count == SocketWouldBlock) {
            continue;
        }
        error = count < 0 ? SocketLastError() : 0;
        if (!StillRecorded(connection)) {
            return ConnectionEnd::DroppedHere;
        }
        return count == 0 ? ConnectionEnd::ClosedByPeer : ConnectionEnd::Failed;
    }
    return ConnectionEnd::Stopped;
}

void LogConnectionLost(int error) {
    if (SocketErrorIsSilence(error)) {
        LogLine(L"Client connection lost: its computer stopped answering (error " +
                std::to_wstring(error) + L").");
    } else {
        LogLine(L"Client connection lost (error " + std::to_wstring(error) + L").");
    }
}

void ServeClient(SocketHandle connection, const std::wstring& peer, SocketHandle waker) {
    // Should the system refuse either, the connection still works; only a client that stopped
    // answering is then found late or never.
    SocketKeepAlive(connection, KeepAliveIdleSeconds, KeepAliveIntervalSeconds);
    SocketLimitRetransmission(connection, RetransmissionLimitSeconds);
    {
        std::lock_guard<std::mutex> lock(socketMutex);
        clientSocket = connection;
    }
    LogLine(L"Client connected: " + peer);
    SetTcpStatus(TcpConnected);

    int error = 0;
    ConnectionEnd end = WatchConnection(connection, waker, error);
    if (end == ConnectionEnd::ClosedByPeer) {
        LogLine(L"Client disconnected.");
    } else if (end == ConnectionEnd::Failed) {
        LogConnectionLost(error);
    }
    {
        std::lock_guard<std::mutex> lock(socketMutex);
        if (clientSocket == connection) {
            clientSocket = InvalidSocket;
        }
    }
    SocketClose(connection);
    // Whenever the thread goes back to accepting, the status says so; a stop reports
    // Disconnected itself once the thread has ended.
    if (end != ConnectionEnd::Stopped && !serverStopFlag.load()) {
        SetTcpStatus(TcpListening);
    }
}

// A connection from an address the Accept list leaves out is closed at once.
bool Refused(const std::wstring& peer, RefusalLog& refusals) {
    std::optional<uint32_t> address = Ipv4FromText(peer);
    if (AcceptRuleAllows(acceptRule, address.value_or(AnyAddress))) {
        return false;
    }
    if (LogRefusalNow(refusals, address.value_or(AnyAddress), Clock::now())) {
        LogLine(L"Connection from " + peer + L" refused: it is not in the Accept list.");
    }
    return true;
}

// Returns when stopped, or when the listening socket cannot be waited on any more; the caller
// then opens a new one after the usual pause, so that a broken socket never spins a core.
void AcceptClients(SocketHandle listener, SocketHandle waker, RefusalLog& refusals) {
    while (!serverStopFlag.load()) {
        SocketWait wait = SocketWaitReadable(listener, waker, WaitMilliseconds);
        if (wait == SocketWait::Failed) {
            LogLine(L"TCP server wait failed (code " + std::to_wstring(SocketLastError()) +
                    L"). Retrying in 5s.");
            PauseBeforeRetry();
            return;
        }
        if (wait == SocketWait::Woken) {
            SocketDrainWaker(waker);
        }
        if (wait != SocketWait::Ready) {
            continue;
        }
        std::string peer;
        SocketHandle connection = SocketAccept(listener, peer);
        if (connection != InvalidSocket) {
            std::wstring peerText = Utf8ToWide(peer);
            if (Refused(peerText, refusals)) {
                SocketClose(connection);
            } else {
                ServeClient(connection, peerText, waker);
            }
        } else {
            // A connection that went before it was taken is normal; a listener that keeps
            // failing must not be asked again at once.
            std::this_thread::sleep_for(RetryStep);
        }
    }
}

}  // namespace

void SetTcpStatus(int value) {
    tcpStatus.exchange(value);
    if (MainDialogHandle != nullptr) {
        PostToMainDialog(WM_APP_TCP_STATUS, static_cast<std::uintptr_t>(value), 0);
    }
}

void DropClientConnectionLocked() {
    if (clientSocket == InvalidSocket) {
        return;
    }
    SocketShutdown(clientSocket);
    clientSocket = InvalidSocket;
    if (serverWaker != InvalidSocket) {
        SocketWake(serverWaker);
    }
}

void CloseClientConnection() {
    std::lock_guard<std::mutex> lock(socketMutex);
    DropClientConnectionLocked();
}

void ProbeClientConnection() {
    std::lock_guard<std::mutex> lock(socketMutex);
    if (clientSocket == InvalidSocket) {
        return;
    }
    SocketKeepAlive(clientSocket, ProbeIdleSeconds, KeepAliveIntervalSeconds);
    probeEnds = Clock::now() + ProbeDuration;
}

void ServerThreadMain() {
    SocketHandle waker = Waker();
    RefusalLog refusals;
    while (!serverStopFlag.load()) {
        SocketHandle listener = OpenListeningSocket();
        if (listener == InvalidSocket) {
            continue;
        }
        AcceptClients(listener, waker, refusals);
        std::lock_guard<std::mutex> lock(socketMutex);
        SocketClose(listenSocket);
        listenSocket = InvalidSocket;
    }
}

bool StartTcpServer() {
    serverStopFlag.exchange(false);
    {
        std::lock_guard<std::mutex> lock(socketMutex);
        serverWaker = SocketOpenWaker();
    }
    serverPort = tcpPort.load();
    try {
        serverThread = std::thread(ServerThreadMain);
    } catch (const std::system_error& error) {
        LogLine(L"TCP server could not be started (code " + std::to_wstring(error.code().value()) +
                L"). Retrying in 5s.");
        StopTcpServer();
        return false;
    }
    return true;
}

void StopTcpServer() {
    serverStopFlag.exchange(true);
    {
        std::lock_guard<std::mutex> lock(socketMutex);
        DropClientConnectionLocked();
        if (serverWaker != InvalidSocket) {
            SocketWake(serverWaker);
        }
    }
    if (serverThread.joinable()) {
        serverThread.join();
    }
    {
        std::lock_guard<std::mutex> lock(socketMutex);
        if (serverWaker != InvalidSocket) {
            SocketClose(serverWaker);
            serverWaker = InvalidSocket;
        }
    }
    serverPort = 0;
    SetTcpStatus(TcpDisconnected);
}
