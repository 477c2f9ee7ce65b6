#include "capture/scan_assembly.h"

#include "capture/capture_control.h"
#include "capture/key_queue.h"
#include "common/log_line.h"
#include "common/scan_text.h"
#include "forwarding/scan_frame.h"

#include <mutex>

std::atomic<uint64_t> scanCounter{0};
bool lowercaseOutput = false;
bool includeEnter = true;

namespace {

constexpr size_t MaxScanBytes = 65536;

// Locked before socketMutex (inside SendScanFrame), never after it.
std::mutex scanBufferMutex;
std::string scanBuffer;

uint8_t ApplyCaseOption(uint8_t character) {
    if (lowercaseOutput && character >= 'A' && character <= 'Z') {
        return static_cast<uint8_t>(character + 0x20);
    }
    if (!lowercaseOutput && character >= 'a' && character <= 'z') {
        return static_cast<uint8_t>(character - 0x20);
    }
    return character;
}

// Far beyond any barcode (the largest 2-D codes hold a few kilobytes): a device that types
// this much without an Enter is no scanner set up for Wendalux, and its text is not a scan.
void DiscardOverlongScan() {
    LogLine(L"Scan discarded: " + std::to_wstring(scanBuffer.size()) +
            L" bytes without an Enter. Check the scanner's Enter suffix.");
    scanBuffer.clear();
}

// The scanner went away before its Enter: what it typed of the scan is no scan.
void DiscardHalfScan() {
    if (scanBuffer.empty()) {
        return;
    }
    LogLine(L"Scanner gone in the middle of a scan: " + std::to_wstring(scanBuffer.size()) +
            L" characters dropped.");
    scanBuffer.clear();
}

void FinishScan() {
    std::string payload = scanBuffer;
    if (includeEnter) {
        payload.push_back('\r');
    }
    // Counted and logged whether or not a client took it.
    SendScanFrame(payload);
    uint64_t number = ++scanCounter;
    LogLine(L"SCAN #" + std::to_wstring(number) + L" -> " + ScanForLog(scanBuffer));
    scanBuffer.clear();
}

}  // namespace

void ProcessKeyEvents() {
    if (!captureActive.load()) {
        return;
    }
    std::vector<KeyEvent> events = KeyQueueTakeAll();
    for (const KeyEvent& event : events) {
        uint8_t character = ApplyCaseOption(event.character);
        std::lock_guard<std::mutex> lock(scanBufferMutex);
        if (event.deviceLeft) {
            DiscardHalfScan();
        } else if (!event.isEnter) {
            if (scanBuffer.size() >= MaxScanBytes) {
                DiscardOverlongScan();
            }
            scanBuffer.push_back(static_cast<char>(character));
        } else if (!scanBuffer.empty()) {
            FinishScan();
        }
    }
}

void ScanBufferClear() {
    std::lock_guard<std::mutex> lock(scanBufferMutex);
    scanBuffer.clear();
}

std::string ScanBufferContents() {
    std::lock_guard<std::mutex> lock(scanBufferMutex);
    return scanBuffer;
}
