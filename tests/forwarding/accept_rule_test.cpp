#include "forwarding/accept_rule.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

struct RuleCase {
    const wchar_t* text;
    // The canonical text of the rule read; nullptr: the text gives none.
    const wchar_t* canonical;
};

TEST(AcceptRule, ReadsAnyLocalOrAListOfAddresses) {
    const RuleCase cases[] = {
        {L"any", L"any"},
        {L" any\t", L"any"},
        {L"local", L"local"},
        {L"192.168.1.20", L"192.168.1.20"},
        {L"10.0.0.5,192.168.1.20", L"10.0.0.5, 192.168.1.20"},
        {L" 10.0.0.5 ,\t192.168.1.20 ", L"10.0.0.5, 192.168.1.20"},
        {L"10.0.0.5, 10.0.0.5", L"10.0.0.5"},
        {L"0.0.0.0, 255.255.255.255", L"0.0.0.0, 255.255.255.255"},
        {L"", nullptr},
        {L"  ", nullptr},
        {L"Any", nullptr},
        {L"LOCAL", nullptr},
        {L"anyone", nullptr},
        {L"any, 10.0.0.5", nullptr},
        {L"local,127.0.0.1", nullptr},
        {L"10.0.0.5,", nullptr},
        {L",10.0.0.5", nullptr},
        {L"10.0.0.5,,10.0.0.6", nullptr},
        {L"10.0.0.5;10.0.0.6", nullptr},
        {L"10.0.0.5 10.0.0.6", nullptr},
        {L"256.0.0.1", nullptr},
        {L"1.2.3.256", nullptr},
        {L"1.2.3", nullptr},
        {L"1.2.3.4.5", nullptr},
        {L"1.2..4", nullptr},
        {L"1.2.3.", nullptr},
        {L"01.2.3.4", nullptr},
        {L"1.2.3.04", nullptr},
        {L"1.2.3.0004", nullptr},
        {L"1234.2.3.4", nullptr},
        {L"+1.2.3.4", nullptr},
        {L"1.2.3.4x", nullptr},
        {L"host.example", nullptr},
        {L"::1", nullptr},
    };
    for (const RuleCase& c : cases) {
        std::optional<AcceptRule> rule = ParseAcceptRule(c.text);
        EXPECT_EQ(c.canonical ? c.canonical : L"(none)", rule ? AcceptRuleText(*rule) : L"(none)")
            << testing::PrintToString(std::wstring(c.text));
    }
}

TEST(AcceptRule, ListsAddressesInHostOrderAndAllowsOnlyThem) {
    std::optional<AcceptRule> list = ParseAcceptRule(L"192.168.1.20, 127.0.0.1");
    ASSERT_TRUE(list.has_value());
    EXPECT_FALSE(list->localOnly);
    EXPECT_EQ((std::vector<uint32_t>{0xC0A80114, 0x7F000001}), list->allowed);
    EXPECT_TRUE(AcceptRuleAllows(*list, 0xC0A80114));
    EXPECT_FALSE(AcceptRuleAllows(*list, 0xC0A80115));
    for (const wchar_t* open : {L"any", L"local"}) {
        std::optional<AcceptRule> rule = ParseAcceptRule(open);
        ASSERT_TRUE(rule.has_value());
        EXPECT_EQ(std::wstring(open) == L"local", rule->localOnly);
        EXPECT_TRUE(rule->allowed.empty());
        EXPECT_TRUE(AcceptRuleAllows(*rule, 0xC0A80115));
    }
}

struct Refusal {
    uint32_t address;
    std::chrono::milliseconds at;
    bool logged;
};

TEST(AcceptRule, ARefusedAddressIsLoggedOnceAMinute) {
    const Refusal refusals[] = {
        {1, 0ms, true},      {1, 1ms, false},      {2, 500ms, true},
        {1, 59999ms, false}, {1, 60000ms, true},   {2, 60499ms, false},
        {2, 60500ms, true},  {1, 119999ms, false}, {1, 120000ms, true},
    };
    RefusalLog log;
    auto start = std::chrono::steady_clock::now();
    for (const Refusal& r : refusals) {
        EXPECT_EQ(r.logged, LogRefusalNow(log, r.address, start + r.at))
            << r.address << " at " << r.at.count() << " ms";
    }
}

TEST(AcceptRule, RefusalMemoryIsBoundedAndForgetsTheOldestFirst) {
    RefusalLog log;
    auto start = std::chrono::steady_clock::now();
    const uint32_t addresses = static_cast<uint32_t>(log.entries.size()) + 1;
    for (uint32_t address = 1; address <= addresses; ++address) {
        EXPECT_TRUE(LogRefusalNow(log, address, start + address * 1ms));
    }
    EXPECT_EQ(log.entries.size(), log.used);
    // The first address made room for the last; the second is still remembered.
    EXPECT_FALSE(LogRefusalNow(log, 2, start + 1s));
    EXPECT_TRUE(LogRefusalNow(log, 1, start + 1s));
    EXPECT_FALSE(LogRefusalNow(log, addresses, start + 1s));
}

}  // namespace
