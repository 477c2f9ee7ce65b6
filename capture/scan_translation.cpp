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

constexpr uint8_t NoControl = 0xFF;

// The control character of a key with Ctrl, as a terminal gives it; Shift makes no difference.
uint8_t ControlCharacter(uint16_t scanCode) {
    uint8_t plain = scanCode < CapsLock ? UnshiftedTable[scanCode] : 0;
    if (plain >= 'a' && plain <= 'z') {
        return static_cast<uint8_t>(plain - 'a' + 1);
    }
    switch (plain) {
        case '2':  // Ctrl+@
            return 0x00;
        case '[':
            return 0x1B;
        case '\\':
            return 0x1C;
        case ']':
            return 0x1D;
        case '6':  // Ctrl+^
            return 0x1E;
        case '-':  // Ctrl+_
            return 0x1F;
        default:
            return NoControl;
    }
}

// A keypad digit key (never its E0 twin, an arrow or page key), or -1.
int KeypadDigit(uint16_t scanCode, bool prefixed) {
    if (prefixed || scanCode < KeypadFirst || scanCode > KeypadLast) {
        return -1;
    }
    char key = KeypadMap[scanCode - KeypadFirst];
    return key >= '0' && key <= '9' ? key - '0' : -1;
}

// Alt and the digits typed under it: the byte is given when Alt goes up.
std::optional<uint8_t> TrackAltCode(uint16_t scanCode, bool released, bool prefixed,
                                    ModifierState& state) {
    if (scanCode == Alt) {
        if (!released && state.altDown) {
            return std::nullopt;  // Alt repeating while held keeps the digits so far
        }
        bool hadCode = state.altDown && released && state.altDigits > 0;
        uint8_t value = static_cast<uint8_t>(state.altValue);
        state.altDown = !released;
        state.altDigits = 0;
        state.altValue = 0;
        if (hadCode) {
            return value;
        }
        return std::nullopt;
    }
    if (released) {
        return std::nullopt;
    }
    int digit = KeypadDigit(scanCode, prefixed);
    if (digit >= 0) {
        ++state.altDigits;
        state.altValue = (state.altValue * 10 + digit) % 256;
    } else if (scanCode != LeftShift && scanCode != RightShift && scanCode != Ctrl) {
        // Any other key abandons the code, as Windows does.
        state.altDigits = 0;
        state.altValue = 0;
    }
    return std::nullopt;
}

}  // namespace

std::optional<uint8_t> TranslateStroke(uint16_t scanCode, bool released, ModifierState& state,
                                       bool prefixed) {
    if (scanCode == LeftShift || scanCode == RightShift) {
        state.shiftDown = !released;
    } else if (scanCode == CapsLock && !released) {
        state.capsLock = !state.capsLock;
    } else if (scanCode == Ctrl) {
        state.ctrlDown = !released;
    }
    if (scanCode == Alt || state.altDown) {
        return TrackAltCode(scanCode, released, prefixed, state);
    }
    if (released) {
        return std::nullopt;
    }
    if (scanCode == Ctrl || scanCode == LeftShift || scanCode == RightShift || scanCode == Alt ||
        scanCode == CapsLock) {
        return std::nullopt;
    }
    if (state.ctrlDown) {
        uint8_t control = ControlCharacter(scanCode);
        if (control == NoControl) {
            return std::nullopt;
        }
        return control;
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
