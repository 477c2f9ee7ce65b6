// A plain TCP client for tests of the server.
#pragma once

#include "forwarding/socket_layer.h"

#include <chrono>
#include <cstdint>
#include <string>

// A port that was free a moment ago on all addresses.
uint16_t FreeTcpPort();

SocketHandle ConnectClient(uint16_t port);

// Reads until size bytes have come, the peer closed, or the time is up.
std::string ReadBytes(SocketHandle socket, size_t size,
                      std::chrono::milliseconds limit = std::chrono::seconds(30));

// True when the peer has closed the connection (after any bytes still in flight) within the
// time limit.
bool WaitForClose(SocketHandle socket, std::chrono::milliseconds limit = std::chrono::seconds(30));
