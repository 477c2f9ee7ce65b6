// A client of the stand-in driver's control channel, for native and Windows tests alike.
#pragma once

#include "forwarding/socket_layer.h"

#include <cstdint>
#include <string>
#include <vector>

struct ControlChannel {
    SocketHandle socket = InvalidSocket;
    std::string received;  // bytes of replies not yet taken
};

// Connects on first use; false when the channel is not there.
bool ControlConnect(ControlChannel& channel, uint16_t port);
void ControlClose(ControlChannel& channel);

// Sends one command and returns the next reply line without its line break. An empty command
// sends nothing: it takes the next line of a reply that has several. "no reply" after 10 s
// of silence, "channel closed" when the stand-in went away.
std::string ControlCommand(ControlChannel& channel, const std::string& line);

// The strokes that reached the system since the last call, as "D CODE STATE" lines.
std::vector<std::string> ControlSystem(ControlChannel& channel);
