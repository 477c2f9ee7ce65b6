// Turns the captured scanner's key strokes into ASCII with a fixed US layout.
#pragma once

#include <cstdint>
#include <optional>

struct ModifierState {
    bool shiftDown = false;  // either Shift key held
    bool capsLock = false;   // Caps Lock toggled on
};

// Indexed by set-1 scan code; 0 means no character. Only 0x01 to 0x39 are looked up.
extern const uint8_t UnshiftedTable[64];
extern const uint8_t ShiftedTable[64];

// Updates the modifier state for every stroke and returns the character of a pressed key,
// if it has one. The E0 bit and the stroke's information field are deliberately ignored.
std::optional<uint8_t> TranslateStroke(uint16_t scanCode, bool released, ModifierState& state);
