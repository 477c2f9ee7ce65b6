// The TCP server with room for one client: a thread that listens, accepts and watches the
// connection. Scan frames are sent by the UI thread, never by this thread. Who may connect is
// acceptRule (forwarding/accept_rule.h), read by this thread when it starts listening and
// at each accept. A served connection has keep-alive, and a limit on how long sent data may
// wait for acknowledgement, so a client whose computer stopped answering is dropped within
// about 15 seconds and the next one is served.
#pragma once

#include "forwarding/socket_layer.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

enum TcpStatus : int { TcpDisconnected = 0, TcpListening = 1, TcpConnected = 2 };

constexpr uint16_t DefaultTcpPort = 20296;

extern std::atomic<uint16_t> tcpPort;
// Guarded by socketMutex, which is always the innermost lock.
extern SocketHandle listenSocket;
extern SocketHandle clientSocket;
extern std::mutex socketMutex;
extern std::atomic<bool> serverStopFlag;
extern std::thread serverThread;
extern std::atomic<int> tcpStatus;
// The port the server thread listens on or is trying to; 0 when no thread runs.
extern std::atomic<uint16_t> serverPort;

// How the server thread reads what a client sends: SocketReceive, unless a test puts a read of
// its own here (before StartTcpServer) to play what the network seldom does, such as a
// readiness with nothing to read.
extern int (*clientReceive)(SocketHandle socket, char* buffer, int size);

// Stores the status and posts WM_APP_TCP_STATUS to the main dialog, from any thread.
void SetTcpStatus(int value);

// Precondition: no unjoined server thread. False, with a log line, when the system refused to
// create the thread; the caller tries again later.
bool StartTcpServer();
// Closes the connection, ends and joins the thread, reports Disconnected. Safe when no thread
// runs.
void StopTcpServer();
void ServerThreadMain();

// Ends the client connection, if any, without a log line or status report.
void CloseClientConnection();

// For a resume from sleep, when the client may have gone meanwhile: from now on the connection
// is probed after one second of silence, so that a client that stopped answering is dropped
// within about 15 seconds; the server thread puts the usual keep-alive back 15 seconds later.
// Any thread; nothing happens while no client is connected.
void ProbeClientConnection();

// With socketMutex held: ends the recorded connection and forgets it. Only the server thread
// releases the handle, once it has stopped waiting on it, so no thread ever waits on, reads
// from or closes a handle value that may already belong to another socket.
void DropClientConnectionLocked();
