// Turns the captured scanner's key strokes into bytes with a fixed US layout, by the rules
// Windows applies to a keyboard: the scanner's data must arrive as it would in Notepad.
#pragma once

#include <cstdint>
#include <optional>

// Each modifier key is tracked apart: left Shift held while right Shift is tapped is still
// Shift.
struct ModifierState {
    bool leftShift = false;
    bool rightShift = false;
    bool capsLock = false;  // Caps Lock toggled on
    bool leftCtrl = false;
    bool rightCtrl = false;
    bool leftAlt = false;
    bool rightAlt = false;
    int altDigits = 0;          // keypad digits typed since Alt went down
    int altValue = 0;           // their decimal value, kept below 256
    bool altAnsi = false;       // the code began with 0: an ANSI byte, else a code page 437 one
    bool altAbandoned = false;  // another key came: nothing more until Alt goes up
};

bool ShiftHeld(const ModifierState& state);
bool CtrlHeld(const ModifierState& state);
bool AltHeld(const ModifierState& state);

// Indexed by set-1 scan code; 0 means no character. Only 0x01 to 0x39 are looked up.
extern const uint8_t UnshiftedTable[64];
extern const uint8_t ShiftedTable[64];

// The Windows-1252 byte of a code page 437 character, '?' where it has none.
uint8_t Cp437ToWindows1252(uint8_t character);

// Updates the modifier state for every stroke and returns the byte of a pressed key, if it
// has one. A letter is upper case when Shift or Caps Lock, but not both, say so. With Ctrl
// held, a key gives the ASCII control character a terminal gives it (Ctrl+] is GS); Alt held
// while keypad digits are typed gives one byte when Alt goes up: with a leading 0 the value
// modulo 256 itself (ANSI), else the Windows-1252 byte of that code page 437 character.
// prefixed is the stroke's E0 bit: keypad Enter and keypad / are E0 keys, right Ctrl and
// right Alt act as Ctrl and Alt, the Shift strokes a keyboard sends around its grey keys
// change nothing, and every other E0 key (arrows, Home, Delete, ...) gives nothing; inside an
// Alt code any of those abandons the code. The information field is not read.
std::optional<uint8_t> TranslateStroke(uint16_t scanCode, bool released, ModifierState& state,
                                       bool prefixed = false);
