#include "devices/device_key.h"

namespace {

// Appends the component that starts at the first occurrence of tag and spans length
// characters, if the text holds all of it.
void AppendComponent(const std::wstring& text, const wchar_t* tag, size_t length,
                     const wchar_t* separator, std::wstring& key) {
    size_t tagLength = std::wstring(tag).size();
    if (text.size() < tagLength) {
        return;
    }
    size_t at = text.find(tag);
    if (at != std::wstring::npos && at + length <= text.size()) {
        key += separator;
        key += text.substr(at, length);
    }
}

}  // namespace

std::wstring buildDeviceKey(const std::wstring& text) {
    std::wstring upper = text;
    for (wchar_t& c : upper) {
        if (c >= L'a' && c <= L'z') {
            c = static_cast<wchar_t>(c - (L'a' - L'A'));
        }
    }
    std::wstring key;
    AppendComponent(upper, L"VID_", 8, L"", key);
    AppendComponent(upper, L"PID_", 8, L"&", key);
    AppendComponent(upper, L"MI_", 5, L"&", key);
    return key;
}
