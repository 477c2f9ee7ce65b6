#include "simdriver/us_layout.h"

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

}  // namespace

std::optional<std::vector<SimStroke>> StrokesForText(int device, const std::string& text) {
    std::vector<SimStroke> strokes;
    for (char character : text) {
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
