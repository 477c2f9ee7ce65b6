#include "forwarding/scan_frame.h"

#include "forwarding/tcp_server.h"

#include <cstdio>
#include <mutex>

const uint8_t ScanFrameMarker[10] = {0xDD, 0xFE, 'T', 'O', 'V', 'A', 'K', 0x01, 0xFE, 0xDE};

std::string BuildScanFrame(const std::string& scan) {
    std::string frame;
    frame.reserve(5 * (scan.size() + 2));
    frame.append(reinterpret_cast<const char*>(ScanFrameMarker), sizeof ScanFrameMarker);
    for (char byte : scan) {
        char group[16];
        int length = std::snprintf(group, sizeof group, "[%d]", static_cast<unsigned char>(byte));
        frame.append(group, static_cast<size_t>(length));
    }
    return frame;
}

bool SendScanFrame(const std::string& scan) {
    std::string frame = BuildScanFrame(scan);
    std::lock_guard<std::mutex> lock(socketMutex);
    if (clientSocket == InvalidSocket) {
        return false;
    }
    if (!SocketSendAll(clientSocket, frame.data(), frame.size(),
                       ScanFrameSendTimeoutMilliseconds)) {
        // Part of the frame may have gone out: ending the connection keeps the client from
        // ever taking it for a whole one.
        DropClientConnectionLocked();
        return false;
    }
    return true;
}
