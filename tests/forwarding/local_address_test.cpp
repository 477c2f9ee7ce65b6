#include "forwarding/local_address.h"

#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <string>

namespace {

uint32_t Ip(int a, int b, int c, int d) {
    // Network order: the first byte in memory is the first number of the dotted text.
    unsigned char bytes[4] = {static_cast<unsigned char>(a), static_cast<unsigned char>(b),
                              static_cast<unsigned char>(c), static_cast<unsigned char>(d)};
    uint32_t value;
    std::memcpy(&value, bytes, 4);
    return value;
}

AdapterRecord Adapter(bool up, bool loopback, uint32_t metric,
                      std::vector<std::optional<uint32_t>> addresses) {
    return {up, loopback, metric, std::move(addresses)};
}

struct ChoiceCase {
    const char* name;
    std::vector<AdapterRecord> adapters;
    std::optional<uint32_t> chosen;
};

TEST(LocalAddress, ChoiceAmongAdapters) {
    const uint32_t lan = Ip(192, 168, 1, 20), wifi = Ip(10, 0, 0, 5), link = Ip(169, 254, 3, 4);
    const ChoiceCase cases[] = {
        {"only loopback", {Adapter(true, true, 1, {Ip(127, 0, 0, 1)})}, std::nullopt},
        {"lower metric wins, first in list",
         {Adapter(true, false, 25, {lan}), Adapter(true, false, 35, {wifi})},
         lan},
        {"lower metric wins, second in list",
         {Adapter(true, false, 35, {wifi}), Adapter(true, false, 25, {lan})},
         lan},
        {"tie goes to the first",
         {Adapter(true, false, 5, {wifi}), Adapter(true, false, 5, {lan})},
         wifi},
        {"first IPv4 address of an adapter only",
         {Adapter(true, false, 5, {std::nullopt, lan, wifi})},
         lan},
        {"down adapter ignored",
         {Adapter(false, false, 1, {lan}), Adapter(true, true, 1, {wifi})},
         std::nullopt},
        {"link-local with lowest metric shown",
         {Adapter(true, false, 50, {lan}), Adapter(true, false, 10, {link})},
         link},
        {"all-ones metric never chosen", {Adapter(true, false, 0xFFFFFFFFu, {lan})}, std::nullopt},
        {"adapter without IPv4 skipped",
         {Adapter(true, false, 1, {std::nullopt}), Adapter(true, false, 9, {wifi})},
         wifi},
        {"no adapters", {}, std::nullopt},
    };
    for (const ChoiceCase& c : cases) {
        EXPECT_EQ(c.chosen, ChooseLocalAddress(c.adapters)) << c.name;
    }
}

#ifdef _WIN32
TEST(LocalAddress, MachineAddressIsDottedIpv4) {
    std::wstring address = GetLocalIpAddress();
    EXPECT_TRUE(std::regex_match(address, std::wregex(L"[0-9]{1,3}(\\.[0-9]{1,3}){3}")))
        << address.size();
}
#endif

}  // namespace

namespace {

// A system whose data needs `needed` bytes, and grows by `growth` at its first `growths`
// answers that the buffer is too small (adapters arriving between two calls).
struct FakeSystem {
    unsigned long needed, growth;
    int growths;
    int calls = 0;
};

unsigned long FakeQuery(void* context, void* buffer, unsigned long* bytes) {
    auto* system = static_cast<FakeSystem*>(context);
    ++system->calls;
    if (*bytes < system->needed) {
        *bytes = system->needed;
        if (system->growths-- > 0) {
            system->needed += system->growth;
        }
        return 111;
    }
    std::memset(buffer, 0xAB, system->needed);
    return 0;
}

TEST(LocalAddress, AdapterQueryAsksAgainWithTheSizeTheSystemWants) {
    struct Case {
        unsigned long needed, growth;
        int growths;
        bool found;
        int calls;
    } cases[] = {{100, 0, 0, true, 1},
                 {16384, 0, 0, true, 1},
                 {16385, 0, 0, true, 2},
                 {60000, 5000, 1, true, 3},
                 {60000, 5000, 9, false, 4}};
    for (const Case& c : cases) {
        FakeSystem system{c.needed, c.growth, c.growths};
        std::vector<uint64_t> data = QueryWithGrowingBuffer(FakeQuery, &system, 111, 16384);
        EXPECT_EQ(c.found, !data.empty()) << c.needed;
        EXPECT_EQ(c.calls, system.calls) << c.needed;
        if (c.found) {
            EXPECT_GE(data.size() * sizeof(uint64_t), system.needed) << c.needed;
        }
    }
    // "Too small" without wanting more: asking again would get the same answer.
    int calls = 0;
    auto stubborn = [](void* context, void*, unsigned long*) -> unsigned long {
        ++*static_cast<int*>(context);
        return 111;
    };
    EXPECT_TRUE(QueryWithGrowingBuffer(stubborn, &calls, 111, 16384).empty());
    EXPECT_EQ(1, calls);
}

}  // namespace
