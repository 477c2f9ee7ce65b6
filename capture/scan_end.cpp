#include "capture/scan_end.h"

#include <algorithm>

std::atomic<LetterCase> letterCase{LetterCase::Upper};
std::atomic<ScanEnd> scanEnd{ScanEnd::Enter};
std::atomic<int> pauseMilliseconds{DefaultPauseMilliseconds};

namespace {

constexpr uint8_t CarriageReturn = 0x0D;
constexpr uint8_t LineFeed = 0x0A;
constexpr uint8_t Tab = 0x09;

uint8_t InCase(uint8_t byte, LetterCase letters) {
    if (letters == LetterCase::Lower && byte >= 'A' && byte <= 'Z') {
        return static_cast<uint8_t>(byte + 0x20);
    }
    if (letters == LetterCase::Upper && byte >= 'a' && byte <= 'z') {
        return static_cast<uint8_t>(byte - 0x20);
    }
    return byte;
}

bool EndsScan(uint8_t byte, ScanEnd end) {
    return (end != ScanEnd::Pause && byte == CarriageReturn) ||
           (end == ScanEnd::Tab && byte == Tab);
}

}  // namespace

ScanRules CurrentScanRules() {
    ScanRules rules;
    rules.letterCase = letterCase.load();
    rules.end = scanEnd.load();
    rules.pause = std::chrono::milliseconds(pauseMilliseconds.load());
    return rules;
}

std::optional<KeyEvent> EventForByte(ScanEndState& state, uint8_t byte, const ScanRules& rules) {
    bool afterEnd = state.justEnded;
    state.justEnded = false;
    if (EndsScan(byte, rules.end)) {
        state.open = false;
        state.justEnded = true;
        return KeyEvent{KeyEventKind::End};
    }
    if (afterEnd && byte == LineFeed) {
        return std::nullopt;  // CR LF or Tab LF: one end (a pause sets no end that an LF follows)
    }
    state.open = true;
    return KeyEvent{KeyEventKind::Character, InCase(byte, rules.letterCase)};
}

void NoteScannerStroke(ScanEndState& state, ScanClock::time_point now) {
    state.lastStroke = now;
}

std::chrono::milliseconds TimeToPauseEnd(const ScanEndState& state, ScanClock::time_point now,
                                         const ScanRules& rules, std::chrono::milliseconds limit) {
    if (rules.end != ScanEnd::Pause || !state.open) {
        return limit;
    }
    auto left = std::chrono::ceil<std::chrono::milliseconds>(state.lastStroke + rules.pause - now);
    return std::clamp(left, std::chrono::milliseconds(0), limit);
}

bool PauseIsOver(const ScanEndState& state, ScanClock::time_point now, const ScanRules& rules) {
    return rules.end == ScanEnd::Pause && state.open && now - state.lastStroke >= rules.pause;
}
