#include "support/test_client.h"

uint16_t FreeTcpPort() {
    SocketHandle probe = SocketOpenStream();
    uint16_t port = 0;
    if (SocketBind(probe, AnyAddress, 0)) {
        port = SocketLocalPort(probe);
    }
    SocketClose(probe);
    return port;
}

SocketHandle ConnectClient(uint16_t port) {
    return SocketConnect(LoopbackAddress, port);
}

std::string ReadBytes(SocketHandle socket, size_t size, std::chrono::milliseconds limit) {
    std::string bytes;
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (bytes.size() < size) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 ||
            SocketWaitReadable(socket, InvalidSocket, static_cast<int>(left.count())) !=
                SocketWait::Ready) {
            break;
        }
        char buffer[65536];
        size_t want = size - bytes.size() < sizeof buffer ? size - bytes.size() : sizeof buffer;
        int count = SocketReceive(socket, buffer, static_cast<int>(want));
        if (count <= 0) {
            break;
        }
        bytes.append(buffer, static_cast<size_t>(count));
    }
    return bytes;
}

bool WaitForClose(SocketHandle socket, std::chrono::milliseconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (true) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 ||
            SocketWaitReadable(socket, InvalidSocket, static_cast<int>(left.count())) !=
                SocketWait::Ready) {
            return false;
        }
        char buffer[65536];
        if (SocketReceive(socket, buffer, sizeof buffer) <= 0) {
            return true;
        }
    }
}
