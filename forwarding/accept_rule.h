// Who may connect to the TCP server: config.ini's Accept value, and the memory that keeps a
// client that keeps being refused from filling the log.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct AcceptRule {
    // Programs on this computer only: the server listens on 127.0.0.1 alone.
    bool localOnly = false;
    // IPv4 addresses in host order; a connection from any other address is closed as soon as
    // it is accepted. Empty and not localOnly: anyone may connect.
    std::vector<uint32_t> allowed;
};

// "any", "local", or a comma-separated list of dotted IPv4 addresses, with blanks allowed
// around each entry. An address is four decimal parts of 0 to 255 without leading zeros
// (which some tools read as octal). Any other text, an empty entry included, gives nothing.
// A repeated address is kept once.
std::optional<AcceptRule> ParseAcceptRule(const std::wstring& text);
// The canonical text of a rule: "any", "local", or the addresses joined by ", ".
std::wstring AcceptRuleText(const AcceptRule& rule);

// One dotted IPv4 address as above, in host order; nothing for any other text.
std::optional<uint32_t> Ipv4FromText(const std::wstring& text);
std::wstring Ipv4Text(uint32_t address);

// Whether a connection from the address (host order) is served under the rule.
bool AcceptRuleAllows(const AcceptRule& rule, uint32_t address);

// The rule in force. The server thread reads it; the UI thread changes it only while no
// server thread runs, so a change takes effect when the caller restarts the server
// (StopTcpServer, then StartTcpServer).
extern AcceptRule acceptRule;

// A repeated refusal of one address is logged at most once in this time.
constexpr std::chrono::seconds RefusalLogInterval{60};

// When a refusal was last logged, for the few addresses refused most recently. Its size is
// fixed: a new address takes the place of the one logged longest ago.
struct RefusalLog {
    struct Entry {
        uint32_t address = 0;
        std::chrono::steady_clock::time_point loggedAt{};
    };
    std::array<Entry, 16> entries{};
    std::size_t used = 0;
};

// True when a refusal of the address is to be logged now; it is then remembered as logged.
bool LogRefusalNow(RefusalLog& log, uint32_t address, std::chrono::steady_clock::time_point now);
