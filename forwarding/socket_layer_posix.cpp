#include "forwarding/socket_layer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int Fd(SocketHandle socket) {
    return static_cast<int>(socket);
}

sockaddr_in Ipv4(uint32_t address, uint16_t port) {
    sockaddr_in result = {};
    result.sin_family = AF_INET;
    result.sin_port = htons(port);
    result.sin_addr.s_addr = htonl(address);
    return result;
}

}  // namespace

void SocketLibraryStart() {}
void SocketLibraryStop() {}

SocketHandle SocketOpenStream() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    return fd < 0 ? InvalidSocket : static_cast<SocketHandle>(fd);
}

void SocketClaimPort(SocketHandle socket) {
    int one = 1;
    ::setsockopt(Fd(socket), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
}

bool SocketBind(SocketHandle socket, uint32_t address, uint16_t port) {
    sockaddr_in local = Ipv4(address, port);
    return ::bind(Fd(socket), reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
}

int SocketLastError() {
    return errno;
}

bool SocketListen(SocketHandle socket, int backlog) {
    return ::listen(Fd(socket), backlog) == 0;
}

uint16_t SocketLocalPort(SocketHandle socket) {
    sockaddr_in local = {};
    socklen_t length = sizeof local;
    if (::getsockname(Fd(socket), reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        return 0;
    }
    return ntohs(local.sin_port);
}

SocketHandle SocketAccept(SocketHandle listener, std::string& peerAddress) {
    sockaddr_in peer = {};
    socklen_t length = sizeof peer;
    int fd = ::accept4(Fd(listener), reinterpret_cast<sockaddr*>(&peer), &length,
                       SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
        return InvalidSocket;
    }
    // A frame goes out at once, not after the client's delayed acknowledgement of the one
    // before; refused, frames only come a little later, so the connection is kept.
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    char text[22] = {};
    ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
    peerAddress = text;
    return static_cast<SocketHandle>(fd);
}

SocketHandle SocketConnect(uint32_t address, uint16_t port, uint32_t from) {
    SocketHandle socket = SocketOpenStream();
    if (socket == InvalidSocket) {
        return InvalidSocket;
    }
    sockaddr_in remote = Ipv4(address, port);
    if ((from != AnyAddress && !SocketBind(socket, from, 0)) ||
        ::connect(Fd(socket), reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
        ::close(Fd(socket));
        return InvalidSocket;
    }
    return socket;
}

void SocketKeepAlive(SocketHandle socket, int idleSeconds, int intervalSeconds) {
    int on = 1;
    int count = 10;
    ::setsockopt(Fd(socket), SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(Fd(socket), IPPROTO_TCP, TCP_KEEPIDLE, &idleSeconds, sizeof idleSeconds);
    ::setsockopt(Fd(socket), IPPROTO_TCP, TCP_KEEPINTVL, &intervalSeconds, sizeof intervalSeconds);
    ::setsockopt(Fd(socket), IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
}

void SocketLimitRetransmission(SocketHandle socket, int seconds) {
    unsigned int milliseconds = static_cast<unsigned int>(seconds) * 1000;
    ::setsockopt(Fd(socket), IPPROTO_TCP, TCP_USER_TIMEOUT, &milliseconds, sizeof milliseconds);
}

bool SocketErrorIsSilence(int error) {
    return error == ETIMEDOUT || error == EHOSTUNREACH || error == ENETUNREACH;
}

SocketWait SocketWaitReadable(SocketHandle socket, SocketHandle waker, int timeoutMilliseconds) {
    pollfd fds[2] = {{Fd(socket), POLLIN, 0}, {-1, POLLIN, 0}};
    nfds_t count = 1;
    if (waker != InvalidSocket) {
        fds[1].fd = Fd(waker);
        count = 2;
    }
    int result = ::poll(fds, count, timeoutMilliseconds);
    if (result < 0) {
        return errno == EINTR ? SocketWait::TimedOut : SocketWait::Failed;
    }
    if (result == 0) {
        return SocketWait::TimedOut;
    }
    if (count == 2 && (fds[1].revents & POLLIN) != 0) {
        return SocketWait::Woken;
    }
    if ((fds[0].revents & POLLNVAL) != 0) {
        return SocketWait::Failed;
    }
    return SocketWait::Ready;
}

int SocketReceive(SocketHandle socket, char* buffer, int size) {
    ssize_t count = ::recv(Fd(socket), buffer, static_cast<size_t>(size), 0);
    if (count < 0) {
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? SocketWouldBlock : -1;
    }
    return static_cast<int>(count);
}

bool SocketSendAll(SocketHandle socket, const char* data, std::size_t size,
                   int timeoutMilliseconds) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
    while (size > 0) {
        ssize_t sent = ::send(Fd(socket), data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent > 0) {
            data += sent;
            size -= static_cast<std::size_t>(sent);
            continue;
        }
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            return false;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd fd = {Fd(socket), POLLOUT, 0};
        if (::poll(&fd, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) {
            return false;
        }
    }
    return true;
}

void SocketShutdown(SocketHandle socket) {
    ::shutdown(Fd(socket), SHUT_RDWR);
}

void SocketClose(SocketHandle socket) {
    ::close(Fd(socket));
}

SocketHandle SocketOpenWaker() {
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return InvalidSocket;
    }
    sockaddr_in self = Ipv4(LoopbackAddress, 0);
    socklen_t length = sizeof self;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&self), sizeof self) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&self), &length) != 0 ||
        ::connect(fd, reinterpret_cast<sockaddr*>(&self), sizeof self) != 0) {
        ::close(fd);
        return InvalidSocket;
    }
    return static_cast<SocketHandle>(fd);
}

void SocketWake(SocketHandle waker) {
    char byte = 1;
    ::send(Fd(waker), &byte, 1, MSG_DONTWAIT);
}

void SocketDrainWaker(SocketHandle waker) {
    char buffer[64];
    while (::recv(Fd(waker), buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
    }
}
