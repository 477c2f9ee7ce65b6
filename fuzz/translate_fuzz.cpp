#include "capture/scan_translation.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ModifierState state;
    for (size_t k = 0; k + 1 < size; k += 2) {
        uint16_t code = data[k];
        bool released = (data[k + 1] & 1) != 0;
        bool shift = state.shiftDown;
        bool caps = state.capsLock;
        auto character = TranslateStroke(code, released, state);
        if (!character) {
            continue;
        }
        // Only pressed keys type, only ASCII comes out, and a letter's case follows the
        // modifiers.
        if (released || *character >= 0x80 || *character == 0) {
            std::abort();
        }
        bool upper = *character >= 'A' && *character <= 'Z';
        bool lower = *character >= 'a' && *character <= 'z';
        if ((upper && !(shift || caps)) || (lower && (shift || caps))) {
            std::abort();
        }
    }
    return 0;
}
