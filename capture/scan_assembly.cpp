#include "capture/scan_assembly.h"

#include "capture/capture_control.h"
#include "capture/key_queue.h"
#include "common/app_messages.h"
#include "common/dialog_post.h"
#include "common/log_line.h"
#include "common/scan_text.h"
#include "forwarding/held_scans.h"
#include "forwarding/scan_frame.h"
#include "forwarding/tcp_server.h"

#include <mutex>

std::atomic<uint64_t> scanCounter{0};
bool includeEnter = true;

namespace {

constexpr size_t MaxScanBytes = 65536;

// Locked before socketMutex (inside SendScanFrame), never after it.
std::mutex scanBufferMutex;
std::string scanBuffer;

// Far beyond any barcode (the largest 2-D codes hold a few kilobytes): a device that types
// this much without an Enter is no scanner set up for Wendalux, and its text is not a scan.
void DiscardOverlongScan() {
    LogLine(L"Scan discarded: " + std::to_wstring(scanBuffer.size()) +
            L" bytes without an Enter. Check the scanner's Enter suffix.");
    scanBuffer.clear();
}

// The scanner went away before the scan's end: what it typed of the scan is no scan.
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
    // Held scans go first, so that a client gets every scan in order. Counted and logged
    // whether or not a client took it; the log says when none did.
    auto now = HeldClock::now();
    bool sent = DeliverHeldScans(now) && SendScanFrame(payload);
    uint64_t number = ++scanCounter;
    std::wstring delivery;
    if (!sent) {
        delivery = L" (no client)";
        if (holdScans > 0) {
            HoldScan(number, payload, now);
            delivery += L" - held, " + std::to_wstring(HeldScanCount()) + L" waiting";
            // The window shows how many wait.
            PostToMainDialog(WM_APP_TCP_STATUS, static_cast<std::uintptr_t>(tcpStatus.load()), 0);
        }
    }
    LogLine(L"SCAN #" + std::to_wstring(number) + L" -> " + ScanForLog(scanBuffer) + delivery);
    scanBuffer.clear();
}

}  // namespace

void ProcessKeyEvents() {
    if (!captureActive.load()) {
        return;
    }
    std::vector<KeyEvent> events = KeyQueueTakeAll();
    for (const KeyEvent& event : events) {
        std::lock_guard<std::mutex> lock(scanBufferMutex);
        switch (event.kind) {
            case KeyEventKind::Character:
                if (scanBuffer.size() >= MaxScanBytes) {
                    DiscardOverlongScan();
                }
                scanBuffer.push_back(static_cast<char>(event.character));
                break;
            case KeyEventKind::End:
                if (!scanBuffer.empty()) {
                    FinishScan();
                }
                break;
            case KeyEventKind::DeviceLeft:
                DiscardHalfScan();
                break;
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
