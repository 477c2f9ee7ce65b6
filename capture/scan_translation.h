// Turns the captured scanner's key strokes into ASCII with a fixed US layout.
#pragma once

#include <cstdint>
#include <optional>

struct ModifierState {
    bool shiftDown = false;  // either Shift key held
    bool capsLock = false;   // Caps Lock toggled on
    bool ctrlDown = false;   // either Ctrl key held
    bool altDown = false;    // either Alt key held
    int altDigits = 0;       // keypad digits typed since Alt went down
    int altValue = 0;        // their decimal value, kept below 256
};

// Indexed by set-1 scan code; 0 means no character. Only 0x01 to 0x39 are looked up.
extern const uint8_t UnshiftedTable[64];
extern const uint8_t ShiftedTable[64];

// Updates the modifier state for every stroke and returns the character of a pressed key,
// if it has one. With Ctrl held, a key gives the ASCII control character a terminal gives it
// (Ctrl+] is GS); Alt held while keypad digits are typed gives one byte at Alt's release, the
// decimal value modulo 256 (Alt, 0 2 9, Alt up is GS). prefixed is the stroke's E0 bit: it
// only tells the keypad's own digits from the arrow and page keys that share their codes; the
// information field is not read.
std::optional<uint8_t> TranslateStroke(uint16_t scanCode, bool released, ModifierState& state,
                                       bool prefixed = false);
