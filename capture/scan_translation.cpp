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

namespace {

// Code page 437 from 0x80 on (accented letters, box drawing, Greek, symbols) as Windows-1252
// bytes; below 0x80 the two agree.
const uint8_t UpperCp437[128] = {
    0xC7, 0xFC, 0xE9, 0xE2, 0xE4, 0xE0, 0xE5, 0xE7, 0xEA, 0xEB, 0xE8, 0xEF, 0xEE, 0xEC, 0xC4, 0xC5,
    0xC9, 0xE6, 0xC6, 0xF4, 0xF6, 0xF2, 0xFB, 0xF9, 0xFF, 0xD6, 0xDC, 0xA2, 0xA3, 0xA5, '?',  0x83,
    0xE1, 0xED, 0xF3, 0xFA, 0xF1, 0xD1, 0xAA, 0xBA, 0xBF, '?',  0xAC, 0xBD, 0xBC, 0xA1, 0xAB, 0xBB,
    '?',  '?',  '?',  '?',  '?',  '?',  '?',  '?',  '?',  '?',  '?',  '?',  '?',  '?',  '?',  '?',
    '?',  '?',  '?',  '?',  '?',  '?',  '?',  '?',  '?',  '?',  '?',  '?',  '?',  '?',  '?',  '?',
    '?',  '?',  '?',  '?',  '?',  '?',  '?',  '?',  '?',  '?',  '?',  '?',  '?',  '?',  '?',  '?',
    '?',  0xDF, '?',  '?',  '?',  '?',  0xB5, '?',  '?',  '?',  '?',  '?',  '?',  '?',  '?',  '?',
    '?',  0xB1, '?',  '?',  '?',  '?',  0xF7, '?',  0xB0, '?',  0xB7, '?',  '?',  0xB2, '?',  0xA0,
};
// clang-format on

constexpr uint16_t LeftShift = 0x2A;
constexpr uint16_t RightShift = 0x36;
constexpr uint16_t CapsLock = 0x3A;
constexpr uint16_t Ctrl = 0x1D;
constexpr uint16_t Alt = 0x38;
constexpr uint16_t Enter = 0x1C;
constexpr uint16_t Slash = 0x35;
constexpr uint16_t KeypadStar = 0x37;
constexpr uint16_t KeypadFirst = 0x47;
constexpr uint16_t KeypadLast = 0x53;

// Keypad codes 0x47 to 0x53; the keys read the same whatever Num Lock or Shift say.
constexpr char KeypadMap[KeypadLast - KeypadFirst + 1] = {'7', '8', '9', '-', '4', '5', '6',
                                                          '+', '1', '2', '3', '0', '.'};

constexpr uint8_t NoControl = 0xFF;

bool IsShift(uint16_t scanCode) {
    return scanCode == LeftShift || scanCode == RightShift;
}

bool IsModifier(uint16_t scanCode) {
    return IsShift(scanCode) || scanCode == Ctrl || scanCode == Alt || scanCode == CapsLock;
}

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

void ForgetAltCode(ModifierState& state) {
    state.altDigits = 0;
    state.altValue = 0;
    state.altAnsi = false;
    state.altAbandoned = false;
}

// Alt and the digits typed under it: the byte is given when the last Alt held goes up.
std::optional<uint8_t> TrackAltCode(uint16_t scanCode, bool released, bool prefixed,
                                    ModifierState& state) {
    if (scanCode == Alt) {
        bool wasHeld = AltHeld(state);
        (prefixed ? state.rightAlt : state.leftAlt) = !released;
        if (!released) {
            if (!wasHeld) {
                ForgetAltCode(state);
            }
            return std::nullopt;  // a repeat, or the other Alt, keeps the digits so far
        }
        if (AltHeld(state)) {
            return std::nullopt;
        }
        std::optional<uint8_t> code;
        if (wasHeld && state.altDigits > 0 && !state.altAbandoned) {
            auto value = static_cast<uint8_t>(state.altValue);
            code = state.altAnsi ? value : Cp437ToWindows1252(value);
        }
        ForgetAltCode(state);
        return code;
    }
    if (released) {
        return std::nullopt;
    }
    int digit = KeypadDigit(scanCode, prefixed);
    if (digit >= 0) {
        if (state.altDigits == 0) {
            state.altAnsi = digit == 0;
        }
        ++state.altDigits;
        state.altValue = (state.altValue * 10 + digit) % 256;
    } else if (digit < 0 && !IsShift(scanCode) && scanCode != Ctrl) {
        // Any other key abandons the code, as Windows does; its digits do not carry on.
        state.altAbandoned = true;
    }
    return std::nullopt;
}

// Keypad Enter and keypad / are the only E0 keys that type.
std::optional<uint8_t> PrefixedKey(uint16_t scanCode, const ModifierState& state) {
    if (CtrlHeld(state)) {
        return std::nullopt;
    }
    if (scanCode == Enter) {
        return 0x0D;
    }
    if (scanCode == Slash) {
        return '/';
    }
    return std::nullopt;
}

std::optional<uint8_t> MainKey(uint16_t scanCode, const ModifierState& state) {
    if (CtrlHeld(state)) {
        uint8_t control = ControlCharacter(scanCode);
        return control == NoControl ? std::nullopt : std::optional<uint8_t>(control);
    }
    if (scanCode == KeypadStar) {
        return '*';
    }
    if (scanCode >= KeypadFirst && scanCode <= KeypadLast) {
        return static_cast<uint8_t>(KeypadMap[scanCode - KeypadFirst]);
    }
    if (scanCode >= CapsLock) {
        return std::nullopt;
    }
    uint8_t plain = UnshiftedTable[scanCode];
    if (plain == 0) {
        return std::nullopt;
    }
    bool letter = plain >= 'a' && plain <= 'z';
    bool shifted = letter ? ShiftHeld(state) != state.capsLock : ShiftHeld(state);
    return shifted ? ShiftedTable[scanCode] : plain;
}

}  // namespace

bool ShiftHeld(const ModifierState& state) {
    return state.leftShift || state.rightShift;
}

bool CtrlHeld(const ModifierState& state) {
    return state.leftCtrl || state.rightCtrl;
}

bool AltHeld(const ModifierState& state) {
    return state.leftAlt || state.rightAlt;
}

uint8_t Cp437ToWindows1252(uint8_t character) {
    return character < 0x80 ? character : UpperCp437[character - 0x80];
}

std::optional<uint8_t> TranslateStroke(uint16_t scanCode, bool released, ModifierState& state,
                                       bool prefixed) {
    if (prefixed && IsShift(scanCode)) {
        return std::nullopt;  // the Shift a keyboard fakes around a grey key
    }
    if (scanCode == LeftShift) {
        state.leftShift = !released;
    } else if (scanCode == RightShift) {
        state.rightShift = !released;
    } else if (scanCode == Ctrl) {
        (prefixed ? state.rightCtrl : state.leftCtrl) = !released;
    } else if (scanCode == CapsLock && !released && !prefixed) {
        state.capsLock = !state.capsLock;
    }
    if (scanCode == Alt || AltHeld(state)) {
        return TrackAltCode(scanCode, released, prefixed, state);
    }
    if (released || IsModifier(scanCode)) {
        return std::nullopt;
    }
    return prefixed ? PrefixedKey(scanCode, state) : MainKey(scanCode, state);
}
