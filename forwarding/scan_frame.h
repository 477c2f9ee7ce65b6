// The scan frame: the program's only outgoing wire format. A 10-byte marker, then one
// "[%d]" group per scan byte; no length, no terminator.
#pragma once

#include <cstdint>
#include <string>

extern const uint8_t ScanFrameMarker[10];

// How long a send may wait for room before the frame counts as failed and the client is
// dropped: a client that stops reading must not hold the UI thread.
constexpr int ScanFrameSendTimeoutMilliseconds = 2000;

std::string BuildScanFrame(const std::string& scan);

// Sends the frame of a finished scan to the connected client, whole or not at all: false when
// no client is connected or the send failed, in which case the connection is dropped.
bool SendScanFrame(const std::string& scan);
