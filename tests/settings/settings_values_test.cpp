#include "settings/settings_values.h"

#include <gtest/gtest.h>

namespace {

TEST(SettingsValues, StoredValuesBecomeOptionsAtTheEndsOfTheirRanges) {
    const std::pair<unsigned int, uint16_t> ports[] = {
        {0, 0}, {20296, 20296}, {65535, 65535}, {65536, 0}, {65536 + 80, 80}, {0xFFFFFFFFu, 65535},
    };
    for (auto [stored, port] : ports) {
        EXPECT_EQ(port, PortFromStoredValue(stored)) << stored;
    }
    const std::pair<const wchar_t*, LetterCase> cases[] = {
        {L"lower", LetterCase::Lower},  {L"Lower", LetterCase::Upper},
        {L"LOWER", LetterCase::Upper},  {L"lowercase", LetterCase::Upper},
        {L" lower", LetterCase::Upper}, {L"", LetterCase::Upper},
        {L"upper", LetterCase::Upper},  {L"keep", LetterCase::AsScanned},
        {L"Keep", LetterCase::Upper},   {L"keep ", LetterCase::Upper},
    };
    for (auto [stored, letters] : cases) {
        EXPECT_EQ(letters, LetterCaseFromStored(stored)) << stored;
        EXPECT_EQ(letters, LetterCaseFromStored(StoredLetterCase(letters)));
    }
    for (ScanEnd end : {ScanEnd::Enter, ScanEnd::Tab, ScanEnd::Pause}) {
        EXPECT_EQ(end, ScanEndFromStored(StoredScanEnd(end)));
    }
    for (const wchar_t* stored : {L"", L"Enter", L"cr", L"pause ", L"tab\t"}) {
        EXPECT_FALSE(ScanEndFromStored(stored).has_value()) << stored;
    }
    const std::pair<const wchar_t*, int> pauses[] = {
        {L"20", 20},           {L"100", 100}, {L"5000", 5000}, {L"00500", 500}, {L"19", -1},
        {L"5001", -1},         {L"", -1},     {L"-50", -1},    {L"1e3", -1},    {L"100 ", -1},
        {L"999999999999", -1}, {L"99", 99},
    };
    for (auto [text, pause] : pauses) {
        EXPECT_EQ(pause, PauseFromText(text).value_or(-1)) << text;
    }
    for (unsigned int stored : {1u, 2u, 0xFFFFFFFFu}) {
        EXPECT_TRUE(IncludeEnterFromStoredValue(stored)) << stored;
    }
    EXPECT_FALSE(IncludeEnterFromStoredValue(0));
}

}  // namespace
