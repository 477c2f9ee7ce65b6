#include "capture/scan_translation.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr uint16_t Alt = 0x38;

bool SameState(const ModifierState& a, const ModifierState& b) {
    return a.leftShift == b.leftShift && a.rightShift == b.rightShift && a.capsLock == b.capsLock &&
           a.leftCtrl == b.leftCtrl && a.rightCtrl == b.rightCtrl && a.leftAlt == b.leftAlt &&
           a.rightAlt == b.rightAlt && a.altDigits == b.altDigits && a.altValue == b.altValue &&
           a.altAnsi == b.altAnsi && a.altAbandoned == b.altAbandoned;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ModifierState state;
    // Two bytes a stroke: the scan code, and the driver's state bits (1 key up, 2 E0).
    for (size_t k = 0; k + 1 < size; k += 2) {
        uint16_t code = data[k];
        bool released = (data[k + 1] & 1) != 0;
        bool prefixed = (data[k + 1] & 2) != 0;
        ModifierState before = state;
        auto character = TranslateStroke(code, released, state, prefixed);
        // The Shift a keyboard fakes around its grey keys changes nothing at all.
        if (prefixed && (code == 0x2A || code == 0x36) &&
            (character || !SameState(before, state))) {
            std::abort();
        }
        if (state.altValue < 0 || state.altValue > 255) {
            std::abort();
        }
        if (!character) {
            continue;
        }
        // An Alt code gives any byte, and only at the release of the last Alt held.
        if (code == Alt && released) {
            if (!AltHeld(before) || AltHeld(state) || before.altDigits == 0) {
                std::abort();
            }
            continue;
        }
        // Otherwise only a pressed key types, never while Alt is held.
        if (released || AltHeld(before)) {
            std::abort();
        }
        // With Ctrl, a control character (Ctrl+2 is NUL); without, printable ASCII or one of
        // the keys' own controls, and a letter's case follows the modifiers.
        if (CtrlHeld(before)) {
            if (*character >= 0x20) {
                std::abort();
            }
            continue;
        }
        if (*character >= 0x80 || *character == 0 ||
            (prefixed && *character != 0x0D && *character != '/')) {
            std::abort();
        }
        bool upper = *character >= 'A' && *character <= 'Z';
        bool lower = *character >= 'a' && *character <= 'z';
        bool shifted = ShiftHeld(before) != before.capsLock;
        if ((upper && !shifted) || (lower && shifted)) {
            std::abort();
        }
    }
    return 0;
}
