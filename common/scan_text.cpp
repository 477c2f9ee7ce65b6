#include "common/scan_text.h"

namespace {

const char* const ControlNames[32] = {"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL",
                                      "BS",  "HT",  "LF",  "VT",  "FF",  "CR",  "SO",  "SI",
                                      "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB",
                                      "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};

// Windows-1252 at 0x80 to 0x9F; 0 where it has no character. From 0xA0 on it is Latin-1.
constexpr char16_t Windows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

}  // namespace

std::string NameControlBytes(const std::string& bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (char c : bytes) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            text += '<';
            text += byte == 0x7F ? "DEL" : ControlNames[byte];
            text += '>';
        } else {
            text.push_back(c);
        }
    }
    return text;
}

std::wstring ScanForLog(const std::string& bytes) {
    const char* const hex = "0123456789ABCDEF";
    std::wstring text;
    for (char c : NameControlBytes(bytes)) {
        auto byte = static_cast<unsigned char>(c);
        char16_t high = byte >= 0x80 && byte < 0xA0 ? Windows1252High[byte - 0x80] : 0;
        if (byte < 0x80 || byte >= 0xA0) {
            text.push_back(static_cast<wchar_t>(byte));
        } else if (high != 0) {
            text.push_back(static_cast<wchar_t>(high));
        } else {
            text += L"<x";
            text.push_back(static_cast<wchar_t>(hex[byte >> 4]));
            text.push_back(static_cast<wchar_t>(hex[byte & 0x0F]));
            text += L">";
        }
    }
    return text;
}
