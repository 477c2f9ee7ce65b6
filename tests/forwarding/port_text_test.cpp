#include "forwarding/port_text.h"

#include <gtest/gtest.h>

namespace {

struct PortCase {
    const wchar_t* text;
    uint16_t port;
};

TEST(PortText, ConvertsAsCDoesThenKeepsTheLow16Bits) {
    const PortCase cases[] = {
        {L"20296", 20296},
        {L"", 0},
        {L"0", 0},
        {L"65536", 0},
        {L"65537", 1},
        {L"85832", 20296},  // 65536 + 20296
        {L"  808", 808},
        {L"\t+808", 808},
        {L"\r\n\v\f808", 808},
        {L"808abc", 808},
        {L"abc", 0},
        {L"-1", 65535},
        {L"- 1", 0},
        {L"2147483647", 65535},
        {L"99999999999999", 65535},  // saturates at the largest int: 0x7FFFFFFF
        {L"-2147483648", 0},
        {L"-99999999999999", 0},  // saturates at the smallest int: 0x80000000
        {L"000000000000020296", 20296},
        {L"1 2", 1},
    };
    for (const PortCase& c : cases) {
        EXPECT_EQ(c.port, PortFromText(c.text)) << c.port;
    }
}

}  // namespace
