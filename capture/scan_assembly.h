// Collects the captured characters into scans, on the UI thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

extern std::atomic<uint64_t> scanCounter;
// Set from the dialog and the settings file: a CR is appended to every finished scan.
extern bool includeEnter;

// Takes every queued key event and handles it in order: each end after a non-empty scan sends
// the scan's frame, counts it and logs it, with " (no client)" when no client took it. Does nothing while capture is stopped. Runs on the
// UI thread when the capture thread wakes it, and once a second as a safety net. A scan that
// reaches 64 KiB without an end is discarded with a log line.
void ProcessKeyEvents();

void ScanBufferClear();
// The scan in progress.
std::string ScanBufferContents();
