#include "settings/settings_values.h"

uint16_t PortFromStoredValue(unsigned int stored) {
    return static_cast<uint16_t>(stored & 0xFFFF);
}

bool LowercaseFromStoredCase(const std::wstring& stored) {
    return stored == L"lower";
}

bool IncludeEnterFromStoredValue(unsigned int stored) {
    return stored != 0;
}
