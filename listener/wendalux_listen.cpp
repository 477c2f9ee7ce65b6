// wendalux-listen: connects to Wendalux and prints each scan as it arrives. A reference
// client for plug-in authors and the demo's display.
//   wendalux-listen HOST [PORT] [--raw] [--cr-in-scans]
#include "forwarding/socket_layer.h"
#include "listener/frame_decoder.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#endif

namespace {

constexpr uint16_t DefaultPort = 20296;
// The program sends a frame in one piece, so a pause this long inside one is a stalled network
// or the last frame: what arrived is handed out, marked as possibly incomplete.
constexpr int PauseMilliseconds = 200;

struct Options {
    uint32_t address = 0;
    std::string host;
    uint16_t port = DefaultPort;
    bool raw = false;
    bool crInScans = false;  // the program's End=pause: only the next marker ends a frame
};

bool ParseAddress(const std::string& host, uint32_t& address) {
    std::string dotted = host == "localhost" ? "127.0.0.1" : host;
    in_addr parsed = {};
    if (inet_pton(AF_INET, dotted.c_str(), &parsed) != 1) {
        return false;
    }
    address = ntohl(parsed.s_addr);
    return true;
}

bool ParseOptions(int argc, char** argv, Options& options) {
    int positional = 0;
    for (int k = 1; k < argc; ++k) {
        std::string argument = argv[k];
        if (argument == "--raw") {
            options.raw = true;
        } else if (argument == "--cr-in-scans") {
            options.crInScans = true;
        } else if (positional == 0) {
            options.host = argument;
            if (!ParseAddress(argument, options.address)) {
                return false;
            }
            ++positional;
        } else if (positional == 1) {
            char* end = nullptr;
            unsigned long port = std::strtoul(argument.c_str(), &end, 10);
            if (*end != '\0' || port == 0 || port > 65535) {
                return false;
            }
            options.port = static_cast<uint16_t>(port);
            ++positional;
        } else {
            return false;
        }
    }
    return positional >= 1;
}

void Print(const Options& options, const std::vector<DecodedScan>& scans, unsigned long& number) {
    for (const DecodedScan& scan : scans) {
        ++number;
        const char* note = scan.maybeIncomplete ? ", may be incomplete" : "";
        if (options.raw) {
            std::fwrite(scan.bytes.data(), 1, scan.bytes.size(), stdout);
            std::fflush(stdout);
            if (scan.maybeIncomplete) {
                std::fprintf(stderr, "wendalux-listen: #%lu (%zu bytes%s)\n", number,
                             scan.bytes.size(), note);
            }
        } else {
            std::printf("#%lu (%zu bytes%s) %s\n", number, scan.bytes.size(), note,
                        EscapeScan(scan.bytes).c_str());
        }
    }
    std::fflush(stdout);
}

// Says so when bytes outside any frame were skipped since the last time, for example the rest
// of a frame handed out at a pause.
void ReportStrayBytes(const FrameDecoder& decoder, size_t& reported) {
    if (decoder.strayBytes > reported) {
        std::fprintf(stderr, "wendalux-listen: %zu byte(s) outside any frame skipped\n",
                     decoder.strayBytes - reported);
        reported = decoder.strayBytes;
    }
}

// Reads one connection to its end; returns the number of the last scan printed.
unsigned long Receive(const Options& options, SocketHandle connection, unsigned long number) {
    FrameDecoder decoder;
    decoder.endsAtEnter = !options.crInScans;
    size_t strayReported = 0;
    char buffer[65536];
    while (true) {
        SocketWait wait = SocketWaitReadable(connection, InvalidSocket, PauseMilliseconds);
        if (wait == SocketWait::TimedOut) {
            Print(options, FinishFrames(decoder), number);
            continue;
        }
        int count =
            wait == SocketWait::Ready ? SocketReceive(connection, buffer, sizeof buffer) : -1;
        if (count == SocketWouldBlock) {
            continue;
        }
        if (count <= 0) {
            break;
        }
        Print(options, DecodeBytes(decoder, std::string(buffer, static_cast<size_t>(count))),
              number);
        ReportStrayBytes(decoder, strayReported);
    }
    Print(options, FinishFrames(decoder), number);
    if (decoder.droppedFrames > 0) {
        std::fprintf(stderr, "wendalux-listen: %zu incomplete or damaged frame(s) dropped\n",
                     decoder.droppedFrames);
    }
    return number;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: wendalux-listen HOST [PORT] [--raw] [--cr-in-scans]\n"
                     "  HOST  IPv4 address of the machine running Wendalux\n"
                     "  PORT  its TCP port (default %u)\n"
                     "  --raw write each scan's bytes unchanged instead of one line per scan\n"
                     "  --cr-in-scans\n"
                     "        a CR may sit inside a scan (the program's End=pause): a scan ends\n"
                     "        where the next one begins, not at its CR\n",
                     DefaultPort);
        return 2;
    }
#ifdef _WIN32
    if (options.raw) {
        _setmode(_fileno(stdout), _O_BINARY);
    }
#endif
    SocketLibraryStart();
    unsigned long number = 0;
    bool waitingSaid = false;
    while (true) {
        SocketHandle connection = SocketConnect(options.address, options.port);
        if (connection == InvalidSocket) {
            if (!waitingSaid) {
                std::fprintf(stderr, "wendalux-listen: waiting for %s:%u ...\n",
                             options.host.c_str(), options.port);
                waitingSaid = true;
            }
            std::this_thread::sleep_for(std::chrono::seconds(1));
            continue;
        }
        std::fprintf(stderr, "wendalux-listen: connected to %s:%u\n", options.host.c_str(),
                     options.port);
        waitingSaid = false;
        number = Receive(options, connection, number);
        SocketClose(connection);
        std::fprintf(stderr, "wendalux-listen: connection closed, reconnecting\n");
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
}
