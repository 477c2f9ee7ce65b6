#include "capture/scan_translation.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr uint16_t Alt = 0x38;

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
        if (!character) {
            continue;
        }
        // An Alt code gives any byte, and only at Alt's release after Alt went down.
        if (code == Alt && released) {
            if (!before.altDown) {
                std::abort();
            }
            continue;
        }
        // Otherwise only a pressed key types, never while Alt is held.
        if (released || before.altDown) {
            std::abort();
        }
        // With Ctrl, a control character (Ctrl+2 is NUL); without, printable ASCII or one of
        // the keys' own controls, and a letter's case follows the modifiers.
        if (before.ctrlDown) {
            if (*character >= 0x20) {
                std::abort();
            }
            continue;
        }
        if (*character >= 0x80 || *character == 0) {
            std::abort();
        }
        bool upper = *character >= 'A' && *character <= 'Z';
        bool lower = *character >= 'a' && *character <= 'z';
        bool shiftOrCaps = before.shiftDown || before.capsLock;
        if ((upper && !shiftOrCaps) || (lower && shiftOrCaps)) {
            std::abort();
        }
    }
    return 0;
}
