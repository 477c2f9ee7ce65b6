// Helpers that turn a fuzzer's bytes into the program's input types.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Pairs of bytes as UTF-16 code units, widened to wchar_t.
inline std::wstring WideFrom(const uint8_t* data, size_t size) {
    std::wstring text;
    for (size_t k = 0; k + 1 < size; k += 2) {
        text.push_back(static_cast<wchar_t>(data[k] | (data[k + 1] << 8)));
    }
    return text;
}
