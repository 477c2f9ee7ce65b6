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
    std::wstring text = WideFrom(data + 8, size - 8);
    // The port wraps at 65536 exactly; only "lower" and "keep" themselves choose a case, only
    // the three words an end; a pause is digits only and within its range.
    LetterCase letters = LetterCaseFromStored(text);
    auto end = ScanEndFromStored(text);
    auto pause = PauseFromText(text);
    bool digitsOnly = !text.empty() && text.find_first_not_of(L"0123456789") == std::wstring::npos;
    if (PortFromStoredValue(port) != port % 65536 ||
        PortFromStoredValue(port + 65536u) != PortFromStoredValue(port) ||
        IncludeEnterFromStoredValue(enter) != (enter != 0) ||
        (letters == LetterCase::Lower) != (text == L"lower") ||
        (letters == LetterCase::AsScanned) != (text == L"keep") ||
        (end && text != StoredScanEnd(*end)) ||
        (!end && (text == L"enter" || text == L"tab" || text == L"pause")) ||
        (pause && (!digitsOnly || *pause < MinPauseMilliseconds || *pause > MaxPauseMilliseconds ||
                   std::stoi(text) != *pause)) ||
        (!pause && digitsOnly && text.size() <= 9 && std::stoi(text) >= MinPauseMilliseconds &&
         std::stoi(text) <= MaxPauseMilliseconds)) {
        std::abort();
    }
    return 0;
}
