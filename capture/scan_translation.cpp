#include "capture/scan_translation.h"

// clang-format off
const uint8_t UnshiftedTable[64] = {
    0,    0x1B, '1',  '2',  '3',  '4',  '5',  '6',  '7',  '8',  '9',  '0',  '-',  '=',  0x08, 0x09,
    'q',  'w',  'e',  'r',  't',  'y',  'u',  'i',  'o',  'p',  '[',  ']',  0x0D, 0,    'a',  's',
    'd',  'f',  'g',  'h',  'j',  'k',  'l',  ';',  '\'', '`',  0,    '\\', 'z',  'x',  'c',  'v',
    'b',  'n',  'm',  ',',  '.',  '/',  0,    0,    0,    ' ',  0,    0,    0,    0,    0,    0,
};

const uint8_t ShiftedTable[64] = {
    0,    0x1B, '!',  '@',  '#',  '$',  '%',  '^',  '&',  '*',  '(',  ')',  '_',  '+',  0x08, 0x09,
    'Q',  'W',  'E',  'R',  'T',  'Y',  'U',  'I',  'O',  'P',  '{',  '}',  0x0D, 0,    'A',  'S',
    'D',  'F',  'G',  'H',  'J',  'K',  'L',  ':',  '"',  '~',  0,    '|',  'Z',  'X',  'C',  'V',
    'B',  'N',  'M',  '<',  '>',  '?',  0,    0,    0,    ' ',  0,    0,    0,    0,    0,    0,
};
// clang-format on

namespace {

constexpr uint16_t LeftShift = 0x2A;
constexpr uint16_t RightShift = 0x36;
constexpr uint16_t CapsLock = 0x3A;
constexpr uint16_t Ctrl = 0x1D;
constexpr uint16_t Alt = 0x38;
constexpr uint16_t KeypadStar = 0x37;
constexpr uint16_t KeypadFirst = 0x47;
constexpr uint16_t KeypadLast = 0x53;

// Keypad codes 0x47 to 0x53; the keys read the same whatever Num Lock or Shift say.
constexpr char KeypadMap[KeypadLast - KeypadFirst + 1] = {'7', '8', '9', '-', '4', '5', '6',
                                                          '+', '1', '2', '3', '0', '.'};

}  // namespace

std::optional<uint8_t> TranslateStroke(uint16_t scanCode, bool released, ModifierState& state) {
    if (scanCode == LeftShift || scanCode == RightShift) {
        state.shiftDown = !released;
    } else if (scanCode == CapsLock && !released) {
        state.capsLock = !state.capsLock;
    }
    if (released) {
        return std::nullopt;
    }
    if (scanCode == Ctrl || scanCode == LeftShift || scanCode == RightShift || scanCode == Alt ||
        scanCode == CapsLock) {
        return std::nullopt;
    }
    if (scanCode == KeypadStar) {
        return '*';
    }
    if (scanCode < CapsLock) {
        uint8_t character = state.shiftDown ? ShiftedTable[scanCode] : UnshiftedTable[scanCode];
        if (character == 0) {
            return std::nullopt;
        }
        if (!state.shiftDown && state.capsLock && character >= 'a' && character <= 'z') {
            character -= 0x20;
        }
        return character;
    }
    if (scanCode >= KeypadFirst && scanCode <= KeypadLast) {
        return static_cast<uint8_t>(KeypadMap[scanCode - KeypadFirst]);
    }
    return std::nullopt;
}
