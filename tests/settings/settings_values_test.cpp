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
    const std::pair<const wchar_t*, bool> cases[] = {
        {L"lower", true}, {L"Lower", false}, {L"LOWER", false}, {L"lowercase", false},
        {L" lower", false}, {L"", false}, {L"upper", false},
    };
    for (auto [stored, lower] : cases) {
        EXPECT_EQ(lower, LowercaseFromStoredCase(stored)) << stored;
    }
    for (unsigned int stored : {1u, 2u, 0xFFFFFFFFu}) {
        EXPECT_TRUE(IncludeEnterFromStoredValue(stored)) << stored;
    }
    EXPECT_FALSE(IncludeEnterFromStoredValue(0));
}

}  // namespace
