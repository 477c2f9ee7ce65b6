#include "devices/device_naming.h"

namespace {

constexpr size_t FallbackLength = 60;

// The hardware id after its last backslash, cut to 60 characters and "..." when longer.
std::wstring FallbackName(const std::wstring& hardwareId) {
    size_t slash = hardwareId.rfind(L'\\');
    std::wstring name = slash == std::wstring::npos ? hardwareId : hardwareId.substr(slash + 1);
    if (name.size() > FallbackLength) {
        name = name.substr(0, FallbackLength) + L"...";
    }
    return name;
}

}  // namespace

std::wstring HardwareIdFromBuffer(const uint16_t* buffer, size_t units) {
    std::wstring text;
    for (size_t k = 0; k < units && buffer[k] != 0; ++k) {
        text.push_back(static_cast<wchar_t>(buffer[k]));
    }
    return text;
}

std::wstring LongIdOf(const std::wstring& hardwareId) {
    if (hardwareId.size() < 4) {
        return std::wstring();
    }
    size_t start = hardwareId.find(L"VID_");
    if (start == std::wstring::npos) {
        return std::wstring();
    }
    size_t end = hardwareId.find(L'\\', start);
    if (end == std::wstring::npos) {
        end = hardwareId.find(L'#', start);
    }
    return hardwareId.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
}

std::wstring ShortIdOf(const std::wstring& longId) {
    size_t at = longId.find(L"PID_");
    if (at != std::wstring::npos && at + 8 <= longId.size()) {
        return longId.substr(0, at + 8);
    }
    return longId;
}

DeviceNames NameDevice(const std::wstring& hardwareId, const std::wstring& productName) {
    std::wstring longId = LongIdOf(hardwareId);
    std::wstring shortId = ShortIdOf(longId);
    if (!productName.empty() && !longId.empty()) {
        return {productName + L" [" + longId + L"]", productName + L" [" + shortId + L"]"};
    }
    if (!productName.empty()) {
        return {productName, productName};
    }
    if (!longId.empty()) {
        return {L"[" + longId + L"]", L"[" + shortId + L"]"};
    }
    std::wstring fallback = FallbackName(hardwareId);
    return {fallback, fallback};
}
