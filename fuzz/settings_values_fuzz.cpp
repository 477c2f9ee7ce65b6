#include "fuzz/fuzz_input.h"
#include "settings/settings_values.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 8) {
        return 0;
    }
    unsigned int port, enter;
    std::memcpy(&port, data, 4);
    std::memcpy(&enter, data + 4, 4);
    std::wstring caseText = WideFrom(data + 8, size - 8);
    // The port wraps at 65536 exactly; only "lower" itself is lowercase.
    if (PortFromStoredValue(port) != port % 65536 ||
        PortFromStoredValue(port + 65536u) != PortFromStoredValue(port) ||
        IncludeEnterFromStoredValue(enter) != (enter != 0) ||
        LowercaseFromStoredCase(caseText) != (caseText == L"lower")) {
        std::abort();
    }
    return 0;
}
