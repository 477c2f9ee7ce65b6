// The few socket calls the program makes, over Winsock on Windows and POSIX sockets elsewhere,
// so that the server logic is one piece of code on both.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

using SocketHandle = std::uintptr_t;
constexpr SocketHandle InvalidSocket = ~SocketHandle{0};

constexpr uint32_t AnyAddress = 0;                // 0.0.0.0
constexpr uint32_t LoopbackAddress = 0x7F000001;  // 127.0.0.1, host order

// Starts the socket library (version 2.2 on Windows); the result is not examined.
void SocketLibraryStart();
void SocketLibraryStop();

// IPv4 TCP stream socket, or InvalidSocket.
SocketHandle SocketOpenStream();
// Before the bind of a listening socket. Windows: SO_EXCLUSIVEADDRUSE, so that no other program
// can bind the same port and take connections meant for this one. Elsewhere: SO_REUSEADDR,
// which there only lets a port whose old connections wait in TIME_WAIT be bound again.
void SocketClaimPort(SocketHandle socket);
// address in host order; false on failure, with SocketLastError() telling why.
bool SocketBind(SocketHandle socket, uint32_t address, uint16_t port);
int SocketLastError();
bool SocketListen(SocketHandle socket, int backlog);
// The port a bound socket got (useful after binding port 0); 0 on failure.
uint16_t SocketLocalPort(SocketHandle socket);

// Accepted connections are non-blocking (reads follow a readiness wait, and sends have their
// own deadline) and send without delay (TCP_NODELAY). peerAddress receives the peer's dotted
// IPv4 address.
SocketHandle SocketAccept(SocketHandle listener, std::string& peerAddress);
// Blocking connect, for tools and tests, from the given local address (AnyAddress: the
// system's choice); InvalidSocket on failure.
SocketHandle SocketConnect(uint32_t address, uint16_t port, uint32_t from = AnyAddress);

// Keep-alive on a connection: a probe after idleSeconds without traffic, then one every
// intervalSeconds, ten in all (Windows' fixed count; TCP_KEEPCNT elsewhere) before the
// connection fails. A refusal leaves the connection as it was.
void SocketKeepAlive(SocketHandle socket, int idleSeconds, int intervalSeconds);
// Fails the connection when sent data waits this long for acknowledgement, which keep-alive
// never probes (TCP_MAXRT on Windows, TCP_USER_TIMEOUT elsewhere). A refusal leaves the
// connection as it was.
void SocketLimitRetransmission(SocketHandle socket, int seconds);
// Whether a failed receive's error means the peer stopped answering (keep-alive or
// retransmission gave up, or its network became unreachable) rather than closing or resetting.
bool SocketErrorIsSilence(int error);

enum class SocketWait { Ready, Woken, TimedOut, Failed };
// Waits until socket is readable, the waker has been woken, or the time is up. The waker may
// be InvalidSocket.
SocketWait SocketWaitReadable(SocketHandle socket, SocketHandle waker, int timeoutMilliseconds);

// Count of bytes, 0 when the peer closed, SocketWouldBlock when nothing is there yet, another
// negative value on error.
constexpr int SocketWouldBlock = -2;
int SocketReceive(SocketHandle socket, char* buffer, int size);
// Sends all bytes before the deadline, waiting for room as needed. False when the deadline
// passes or the connection fails; some bytes may then have gone out.
bool SocketSendAll(SocketHandle socket, const char* data, std::size_t size,
                   int timeoutMilliseconds);
// Ends both directions without releasing the handle, so that a thread waiting on it wakes
// and no other socket can take over its value.
void SocketShutdown(SocketHandle socket);
void SocketClose(SocketHandle socket);

// A waker is a datagram socket on the loopback address that sends to itself: it lets one
// thread interrupt another's SocketWaitReadable without touching the socket waited on.
SocketHandle SocketOpenWaker();
void SocketWake(SocketHandle waker);
void SocketDrainWaker(SocketHandle waker);
