#include "devices/device_key.h"
#include "fuzz/fuzz_input.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::wstring text = WideFrom(data, size);
    std::wstring key = buildDeviceKey(text);
    // At most the three components, taken from the text, with no lower-case ASCII letter.
    if (key.size() > 8 + 9 + 6) {
        std::abort();
    }
    for (wchar_t c : key) {
        if (c >= L'a' && c <= L'z') {
            std::abort();
        }
    }
    if (!key.empty() && key[0] != L'&' && key.compare(0, 4, L"VID_") != 0) {
        std::abort();
    }
    return 0;
}
