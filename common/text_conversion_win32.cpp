#include "common/text_conversion.h"

#include <windows.h>

std::wstring Utf8ToWide(const std::string& bytes) {
    if (bytes.empty()) {
        return std::wstring();
    }
    int size = static_cast<int>(bytes.size());
    int length = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), size, nullptr, 0);
    if (length <= 0) {
        return std::wstring();
    }
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), size, wide.data(), length);
    return wide;
}
