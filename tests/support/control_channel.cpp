#include "support/control_channel.h"

namespace {

constexpr int ReplyMilliseconds = 10000;

}  // namespace

bool ControlConnect(ControlChannel& channel, uint16_t port) {
    if (channel.socket == InvalidSocket) {
        channel.socket = SocketConnect(LoopbackAddress, port);
        channel.received.clear();
    }
    return channel.socket != InvalidSocket;
}

void ControlClose(ControlChannel& channel) {
    if (channel.socket != InvalidSocket) {
        SocketClose(channel.socket);
        channel.socket = InvalidSocket;
    }
    channel.received.clear();
}

std::string ControlCommand(ControlChannel& channel, const std::string& line) {
    if (!line.empty()) {
        std::string request = line + "\n";
        if (!SocketSendAll(channel.socket, request.data(), request.size(), ReplyMilliseconds)) {
            return "channel closed";
        }
    }
    size_t newline;
    while ((newline = channel.received.find('\n')) == std::string::npos) {
        if (SocketWaitReadable(channel.socket, InvalidSocket, ReplyMilliseconds) !=
            SocketWait::Ready) {
            return "no reply";
        }
        char buffer[4096];
        int count = SocketReceive(channel.socket, buffer, sizeof buffer);
        if (count == SocketWouldBlock) {
            continue;
        }
        if (count <= 0) {
            return "channel closed";
        }
        channel.received.append(buffer, static_cast<size_t>(count));
    }
    std::string reply = channel.received.substr(0, newline);
    channel.received.erase(0, newline + 1);
    return reply;
}

std::vector<std::string> ControlSystem(ControlChannel& channel) {
    std::vector<std::string> lines;
    for (std::string line = ControlCommand(channel, "system"); line != "end";
         line = ControlCommand(channel, "")) {
        if (line.rfind("error", 0) == 0 || line == "no reply" || line == "channel closed") {
            break;
        }
        lines.push_back(line);
    }
    return lines;
}
