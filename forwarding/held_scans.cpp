#include "forwarding/held_scans.h"

#include "common/log_line.h"
#include "forwarding/scan_frame.h"

#include <deque>

int holdScans = 0;
int holdSeconds = DefaultHoldSeconds;

namespace {

struct HeldScan {
    uint64_t number;
    std::string payload;
    HeldClock::time_point finished;
};

std::deque<HeldScan> held;

std::wstring Number(uint64_t number) {
    return L"#" + std::to_wstring(number);
}

}  // namespace

void HoldScan(uint64_t number, const std::string& payload, HeldClock::time_point now) {
    if (holdScans <= 0) {
        return;
    }
    while (held.size() >= static_cast<size_t>(holdScans)) {
        LogLine(L"Held scan " + Number(held.front().number) + L" dropped: " +
                std::to_wstring(holdScans) + L" scans are held already.");
        held.pop_front();
    }
    held.push_back({number, payload, now});
}

void ExpireHeldScans(HeldClock::time_point now) {
    while (!held.empty() && now - held.front().finished >= std::chrono::seconds(holdSeconds)) {
        LogLine(L"Held scan " + Number(held.front().number) +
                L" expired: no client took it within " + std::to_wstring(holdSeconds) + L" s.");
        held.pop_front();
    }
}

bool DeliverHeldScans(HeldClock::time_point now) {
    ExpireHeldScans(now);
    uint64_t first = 0;
    uint64_t last = 0;
    size_t delivered = 0;
    while (!held.empty() && SendScanFrame(held.front().payload)) {
        last = held.front().number;
        first = delivered++ == 0 ? last : first;
        held.pop_front();
    }
    if (delivered > 0) {
        LogLine(L"Held scans delivered: " + std::to_wstring(delivered) + L" (" + Number(first) +
                (delivered > 1 ? L" to " + Number(last) : L"") + L").");
    }
    return held.empty();
}

size_t HeldScanCount() {
    return held.size();
}

void DropHeldScans() {
    if (!held.empty()) {
        LogLine(L"Quit: " + std::to_wstring(held.size()) +
                L" held scan(s) dropped, never delivered.");
    }
    held.clear();
}
