#include "forwarding/port_text.h"
#include "fuzz/fuzz_input.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

// The C library's own reading of the same text, where the text is plain ASCII.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string narrow(reinterpret_cast<const char*>(data), std::min<size_t>(size, 15));
    std::wstring wide(narrow.begin(), narrow.end());
    for (char c : narrow) {
        if (static_cast<unsigned char>(c) >= 0x80 || c == '\0') {
            PortFromText(wide);
            return 0;
        }
    }
    long long value = std::strtoll(narrow.c_str(), nullptr, 10);
    value = std::max<long long>(INT_MIN, std::min<long long>(INT_MAX, value));
    auto expected = static_cast<uint16_t>(static_cast<uint32_t>(static_cast<int32_t>(value)));
    if (PortFromText(wide) != expected) {
        std::abort();
    }
    return 0;
}
