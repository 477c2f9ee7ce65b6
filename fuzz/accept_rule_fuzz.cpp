#include "forwarding/accept_rule.h"

#include <algorithm>
#include <cstdlib>

// A rule read from any text reads back the same from its canonical text, which is a fixed
// point, and lists no address twice.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::wstring text(data, data + size);
    std::optional<AcceptRule> rule = ParseAcceptRule(text);
    if (!rule) {
        return 0;
    }
    std::wstring canonical = AcceptRuleText(*rule);
    std::optional<AcceptRule> again = ParseAcceptRule(canonical);
    std::vector<uint32_t> sorted = rule->allowed;
    std::sort(sorted.begin(), sorted.end());
    if (!again || again->localOnly != rule->localOnly || again->allowed != rule->allowed ||
        AcceptRuleText(*again) != canonical ||
        std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end() ||
        (rule->localOnly && !rule->allowed.empty())) {
        std::abort();
    }
    return 0;
}
