#include "common/scan_text.h"

#include <gtest/gtest.h>

namespace {

TEST(ScanText, TheLogShowsHighBytesAsWindows1252) {
    struct Case {
        std::string bytes;
        std::wstring shown;
    } cases[] = {
        {"caf\xE9", L"caf\u00E9"},                               // Alt+0233
        {"\x80 \x9F \xA0\xFF", L"\u20AC \u0178 \u00A0\u00FF"},   // the ends of both ranges
        {"\x81\x8D\x8F\x90\x9D", L"<x81><x8D><x8F><x90><x9D>"},  // none in that code page
        {std::string("A\x1D\x00", 3), L"A<GS><NUL>"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.shown, ScanForLog(c.bytes));
    }
}

}  // namespace
