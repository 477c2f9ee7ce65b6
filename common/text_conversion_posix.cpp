#include "common/text_conversion.h"

namespace {

// The range the byte after a lead byte must fall in, and the sequence length; length 0 for a
// byte that cannot start a sequence.
struct Lead {
    int length;
    unsigned char low;
    unsigned char high;
};

Lead Classify(unsigned char byte) {
    if (byte >= 0xC2 && byte <= 0xDF)
        return {2, 0x80, 0xBF};
    if (byte == 0xE0)
        return {3, 0xA0, 0xBF};
    if (byte == 0xED)
        return {3, 0x80, 0x9F};
    if (byte >= 0xE1 && byte <= 0xEF)
        return {3, 0x80, 0xBF};
    if (byte == 0xF0)
        return {4, 0x90, 0xBF};
    if (byte >= 0xF1 && byte <= 0xF3)
        return {4, 0x80, 0xBF};
    if (byte == 0xF4)
        return {4, 0x80, 0x8F};
    return {0, 0, 0};
}

}  // namespace

// Each maximal ill-formed subpart becomes one U+FFFD, the replacement practice of current
// Windows converters.
std::wstring Utf8ToWide(const std::string& bytes) {
    std::wstring wide;
    size_t at = 0;
    while (at < bytes.size()) {
        unsigned char byte = static_cast<unsigned char>(bytes[at]);
        if (byte < 0x80) {
            wide.push_back(byte);
            ++at;
            continue;
        }
        Lead lead = Classify(byte);
        if (lead.length == 0) {
            wide.push_back(L'\uFFFD');
            ++at;
            continue;
        }
        char32_t code = byte & (0xFF >> (lead.length + 1));
        int taken = 1;
        for (; taken < lead.length && at + taken < bytes.size(); ++taken) {
            unsigned char next = static_cast<unsigned char>(bytes[at + taken]);
            unsigned char low = taken == 1 ? lead.low : 0x80;
            unsigned char high = taken == 1 ? lead.high : 0xBF;
            if (next < low || next > high) {
                break;
            }
            code = (code << 6) | (next & 0x3F);
        }
        wide.push_back(taken == lead.length ? static_cast<wchar_t>(code) : L'\uFFFD');
        at += static_cast<size_t>(taken);
    }
    return wide;
}
