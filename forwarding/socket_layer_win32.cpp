#include "forwarding/socket_layer.h"

#include <winsock2.h>
#include <ws2tcpip.h>
// After winsock2.h, which it needs.
#include <mstcpip.h>

#include <chrono>

// ws2ipdef.h of the Windows SDK declares it; mingw-w64's headers do not.
#ifndef TCP_MAXRT
#define TCP_MAXRT 5
#endif

namespace {

SOCKET Sock(SocketHandle socket) {
    return static_cast<SOCKET>(socket);
}

sockaddr_in Ipv4(uint32_t address, uint16_t port) {
    sockaddr_in result = {};
    result.sin_family = AF_INET;
    result.sin_port = htons(port);
    result.sin_addr.s_addr = htonl(address);
    return result;
}

void SetNonBlocking(SOCKET socket) {
    u_long on = 1;
    ioctlsocket(socket, FIONBIO, &on);
}

}  // namespace

void SocketLibraryStart() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
}

void SocketLibraryStop() {
    WSACleanup();
}

SocketHandle SocketOpenStream() {
    SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    return socket == INVALID_SOCKET ? InvalidSocket : static_cast<SocketHandle>(socket);
}

void SocketClaimPort(SocketHandle socket) {
    BOOL on = TRUE;
    ::setsockopt(Sock(socket), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on),
                 sizeof on);
}

bool SocketBind(SocketHandle socket, uint32_t address, uint16_t port) {
    sockaddr_in local = Ipv4(address, port);
    return ::bind(Sock(socket), reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
}

int SocketLastError() {
    return WSAGetLastError();
}

bool SocketListen(SocketHandle socket, int backlog) {
    return ::listen(Sock(socket), backlog) == 0;
}

uint16_t SocketLocalPort(SocketHandle socket) {
    sockaddr_in local = {};
    int length = sizeof local;
    if (::getsockname(Sock(socket), reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        return 0;
    }
    return ntohs(local.sin_port);
}

SocketHandle SocketAccept(SocketHandle listener, std::string& peerAddress) {
    sockaddr_in peer = {};
    int length = sizeof peer;
    SOCKET socket = ::accept(Sock(listener), reinterpret_cast<sockaddr*>(&peer), &length);
    if (socket == INVALID_SOCKET) {
        return InvalidSocket;
    }
    SetNonBlocking(socket);
    // A frame goes out at once, not after the client's delayed acknowledgement of the one
    // before; refused, frames only come a little later, so the connection is kept.
    BOOL on = TRUE;
    ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    char text[22] = {};
    ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
    peerAddress = text;
    return static_cast<SocketHandle>(socket);
}

SocketHandle SocketConnect(uint32_t address, uint16_t port, uint32_t from) {
    SocketHandle socket = SocketOpenStream();
    if (socket == InvalidSocket) {
        return InvalidSocket;
    }
    sockaddr_in remote = Ipv4(address, port);
    if ((from != AnyAddress && !SocketBind(socket, from, 0)) ||
        ::connect(Sock(socket), reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
        ::closesocket(Sock(socket));
        return InvalidSocket;
    }
    return socket;
}

void SocketKeepAlive(SocketHandle socket, int idleSeconds, int intervalSeconds) {
    tcp_keepalive values = {};
    values.onoff = 1;
    values.keepalivetime = static_cast<ULONG>(idleSeconds) * 1000;
    values.keepaliveinterval = static_cast<ULONG>(intervalSeconds) * 1000;
    DWORD returned = 0;
    ::WSAIoctl(Sock(socket), SIO_KEEPALIVE_VALS, &values, sizeof values, nullptr, 0, &returned,
               nullptr, nullptr);
}

void SocketLimitRetransmission(SocketHandle socket, int seconds) {
    DWORD limit = static_cast<DWORD>(seconds);
    ::setsockopt(Sock(socket), IPPROTO_TCP, TCP_MAXRT, reinterpret_cast<const char*>(&limit),
                 sizeof limit);
}

bool SocketErrorIsSilence(int error) {
    // Keep-alive that gave up ends a connection with WSAENETRESET; data left unacknowledged
    // for too long, with WSAECONNABORTED or WSAETIMEDOUT.
    return error == WSAETIMEDOUT || error == WSAENETRESET || error == WSAECONNABORTED ||
           error == WSAEHOSTUNREACH || error == WSAENETUNREACH;
}

SocketWait SocketWaitReadable(SocketHandle socket, SocketHandle waker, int timeoutMilliseconds) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(Sock(socket), &readable);
    if (waker != InvalidSocket) {
        FD_SET(Sock(waker), &readable);
    }
    timeval timeout = {timeoutMilliseconds / 1000, (timeoutMilliseconds % 1000) * 1000};
    int result = ::select(0, &readable, nullptr, nullptr, &timeout);
    if (result < 0) {
        return SocketWait::Failed;
    }
    if (result == 0) {
        return SocketWait::TimedOut;
    }
    if (waker != InvalidSocket && FD_ISSET(Sock(waker), &readable)) {
        return SocketWait::Woken;
    }
    return SocketWait::Ready;
}

int SocketReceive(SocketHandle socket, char* buffer, int size) {
    int count = ::recv(Sock(socket), buffer, size, 0);
    if (count == SOCKET_ERROR) {
        return WSAGetLastError() == WSAEWOULDBLOCK ? SocketWouldBlock : -1;
    }
    return count;
}

bool SocketSendAll(SocketHandle socket, const char* data, std::size_t size,
                   int timeoutMilliseconds) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
    while (size > 0) {
        int chunk = size > 0x40000000 ? 0x40000000 : static_cast<int>(size);
        int sent = ::send(Sock(socket), data, chunk, 0);
        if (sent > 0) {
            data += sent;
            size -= static_cast<std::size_t>(sent);
            continue;
        }
        if (sent == SOCKET_ERROR && WSAGetLastError() != WSAEWOULDBLOCK) {
            return false;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return false;
        }
        fd_set writable;
        FD_ZERO(&writable);
        FD_SET(Sock(socket), &writable);
        timeval timeout = {static_cast<long>(left.count() / 1000),
                           static_cast<long>((left.count() % 1000) * 1000)};
        if (::select(0, nullptr, &writable, nullptr, &timeout) < 0) {
            return false;
        }
    }
    return true;
}

void SocketShutdown(SocketHandle socket) {
    ::shutdown(Sock(socket), SD_BOTH);
}

void SocketClose(SocketHandle socket) {
    ::closesocket(Sock(socket));
}

SocketHandle SocketOpenWaker() {
    SOCKET socket = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (socket == INVALID_SOCKET) {
        return InvalidSocket;
    }
    sockaddr_in self = Ipv4(LoopbackAddress, 0);
    int length = sizeof self;
    if (::bind(socket, reinterpret_cast<sockaddr*>(&self), sizeof self) != 0 ||
        ::getsockname(socket, reinterpret_cast<sockaddr*>(&self), &length) != 0 ||
        ::connect(socket, reinterpret_cast<sockaddr*>(&self), sizeof self) != 0) {
        ::closesocket(socket);
        return InvalidSocket;
    }
    SetNonBlocking(socket);
    return static_cast<SocketHandle>(socket);
}

void SocketWake(SocketHandle waker) {
    char byte = 1;
    ::send(Sock(waker), &byte, 1, 0);
}

void SocketDrainWaker(SocketHandle waker) {
    char buffer[64];
    while (::recv(Sock(waker), buffer, sizeof buffer, 0) > 0) {
    }
}
