// Collects the captured characters into scans, one per Enter, on the UI thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

extern std::atomic<uint64_t> scanCounter;
// Options, set from the dialog and the settings file; read at each key event.
extern bool lowercaseOutput;
extern bool includeEnter;

// Takes every queued key event and handles it in order: each Enter after a non-empty scan
// sends the scan's frame, counts it and logs it. Does nothing while capture is stopped. Runs
// on the UI thread when the capture thread wakes it, and once a second as a safety net. A
// scan that reaches 64 KiB without an Enter is discarded with a log line.
void ProcessKeyEvents();

void ScanBufferClear();
// The scan in progress.
std::string ScanBufferContents();
