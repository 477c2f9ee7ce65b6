#include "simdriver/us_layout.h"

#include <cstdio>
#include <cstring>

namespace {

struct KeyRow {
    uint16_t firstCode;
    const char* plain;
    const char* shifted;
};

const KeyRow Rows[] = {
    {0x02, "1234567890-=", "!@#$%^&*()_+"},
    {0x10, "qwertyuiop[]", "QWERTYUIOP{}"},
    {0x1E, "asdfghjkl;'`", "ASDFGHJKL:\"~"},
    {0x2B, "\\zxcvbnm,./", "|ZXCVBNM<>?"},
    {0x39, " ", " "},
};

constexpr uint16_t LeftShiftCode = 0x2A;
constexpr uint16_t LeftCtrlCode = 0x1D;
constexpr uint16_t LeftAltCode = 0x38;

bool Locate(char character, uint16_t& code, bool& shifted) {
    for (const KeyRow& row : Rows) {
        if (const char* at = std::strchr(row.plain, character); at != nullptr && character != 0) {
            code = static_cast<uint16_t>(row.firstCode + (at - row.plain));
            shifted = false;
            return true;
        }
        if (const char* at = std::strchr(row.shifted, character); at != nullptr && character != 0) {
            code = static_cast<uint16_t>(row.firstCode + (at - row.shifted));
            shifted = true;
            return true;
        }
    }
    return false;
}

// Keypad 0 to 9.
constexpr uint16_t KeypadDigitCodes[10] = {0x52, 0x4F, 0x50, 0x51, 0x4B,
                                           0x4C, 0x4D, 0x47, 0x48, 0x49};
// The key that gives each control character 0x00 to 0x1F with Ctrl.
constexpr const char* CtrlKeys = "2abcdefghijklmnopqrstuvwxyz[\\]6-";

void Tap(std::vector<SimStroke>& strokes, int device, uint16_t code) {
    strokes.push_back({device, code, 0});
    strokes.push_back({device, code, InterceptionKeyUp});
}

void TypeControl(std::vector<SimStroke>& strokes, int device, unsigned char character,
                 ControlStyle style) {
    if (style == ControlStyle::AltCode) {
        strokes.push_back({device, LeftAltCode, 0});
        char digits[4];
        std::snprintf(digits, sizeof digits, "%03u", static_cast<unsigned>(character));
        for (const char* digit = digits; *digit != '\0'; ++digit) {
            Tap(strokes, device, KeypadDigitCodes[*digit - '0']);
        }
        strokes.push_back({device, LeftAltCode, InterceptionKeyUp});
        return;
    }
    uint16_t code = 0;
    bool shifted = false;
    Locate(CtrlKeys[character], code, shifted);
    strokes.push_back({device, LeftCtrlCode, 0});
    Tap(strokes, device, code);
    strokes.push_back({device, LeftCtrlCode, InterceptionKeyUp});
}

}  // namespace

std::optional<std::vector<SimStroke>> StrokesForText(int device, const std::string& text,
                                                     ControlStyle style) {
    std::vector<SimStroke> strokes;
    for (char character : text) {
        auto byte = static_cast<unsigned char>(character);
        if (byte < 0x20) {
            TypeControl(strokes, device, byte, style);
            continue;
        }
        uint16_t code = 0;
        bool shifted = false;
        if (!Locate(character, code, shifted)) {
            return std::nullopt;
        }
        if (shifted) {
            strokes.push_back({device, LeftShiftCode, 0});
        }
        strokes.push_back({device, code, 0});
        strokes.push_back({device, code, InterceptionKeyUp});
        if (shifted) {
            strokes.push_back({device, LeftShiftCode, InterceptionKeyUp});
        }
    }
    return strokes;
}
