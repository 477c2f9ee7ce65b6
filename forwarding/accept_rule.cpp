#include "forwarding/accept_rule.h"

#include <algorithm>

AcceptRule acceptRule;

namespace {

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t';
}

std::wstring Trimmed(const std::wstring& text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && IsBlank(text[first])) {
        ++first;
    }
    while (last > first && IsBlank(text[last - 1])) {
        --last;
    }
    return text.substr(first, last - first);
}

}  // namespace

std::optional<uint32_t> Ipv4FromText(const std::wstring& text) {
    uint32_t address = 0;
    size_t at = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (at >= text.size() || text[at] != L'.') {
                return std::nullopt;
            }
            ++at;
        }
        size_t start = at;
        uint32_t value = 0;
        while (at < text.size() && at - start < 3 && text[at] >= L'0' && text[at] <= L'9') {
            value = value * 10 + static_cast<uint32_t>(text[at] - L'0');
            ++at;
        }
        size_t digits = at - start;
        if (digits == 0 || value > 255 || (digits > 1 && text[start] == L'0')) {
            return std::nullopt;
        }
        address = (address << 8) | value;
    }
    if (at != text.size()) {
        return std::nullopt;
    }
    return address;
}

std::wstring Ipv4Text(uint32_t address) {
    return std::to_wstring(address >> 24) + L'.' + std::to_wstring((address >> 16) & 0xFF) + L'.' +
           std::to_wstring((address >> 8) & 0xFF) + L'.' + std::to_wstring(address & 0xFF);
}

std::optional<AcceptRule> ParseAcceptRule(const std::wstring& text) {
    AcceptRule rule;
    std::wstring whole = Trimmed(text);
    if (whole == L"any") {
        return rule;
    }
    if (whole == L"local") {
        rule.localOnly = true;
        return rule;
    }
    size_t start = 0;
    while (true) {
        size_t comma = text.find(L',', start);
        size_t end = comma == std::wstring::npos ? text.size() : comma;
        std::optional<uint32_t> address = Ipv4FromText(Trimmed(text.substr(start, end - start)));
        if (!address) {
            return std::nullopt;
        }
        if (std::find(rule.allowed.begin(), rule.allowed.end(), *address) == rule.allowed.end()) {
            rule.allowed.push_back(*address);
        }
        if (comma == std::wstring::npos) {
            return rule;
        }
        start = comma + 1;
    }
}

std::wstring AcceptRuleText(const AcceptRule& rule) {
    if (rule.localOnly) {
        return L"local";
    }
    if (rule.allowed.empty()) {
        return L"any";
    }
    std::wstring text;
    for (uint32_t address : rule.allowed) {
        if (!text.empty()) {
            text += L", ";
        }
        text += Ipv4Text(address);
    }
    return text;
}

bool AcceptRuleAllows(const AcceptRule& rule, uint32_t address) {
    return rule.allowed.empty() ||
           std::find(rule.allowed.begin(), rule.allowed.end(), address) != rule.allowed.end();
}

bool LogRefusalNow(RefusalLog& log, uint32_t address, std::chrono::steady_clock::time_point now) {
    auto begin = log.entries.begin();
    auto end = begin + static_cast<std::ptrdiff_t>(log.used);
    auto known = std::find_if(
        begin, end, [&](const RefusalLog::Entry& entry) { return entry.address == address; });
    if (known != end) {
        if (now - known->loggedAt < RefusalLogInterval) {
            return false;
        }
        known->loggedAt = now;
        return true;
    }
    if (log.used < log.entries.size()) {
        log.entries[log.used++] = {address, now};
        return true;
    }
    auto oldest = std::min_element(
        begin, end, [](const auto& a, const auto& b) { return a.loggedAt < b.loggedAt; });
    *oldest = {address, now};
    return true;
}
