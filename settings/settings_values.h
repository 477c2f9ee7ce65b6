// How the values read from config.ini become options.
#pragma once

#include <cstdint>
#include <string>

// The stored port's low 16 bits, with no range check: 65536 + p is p.
uint16_t PortFromStoredValue(unsigned int stored);
// Only the exact, case-sensitive word "lower" selects lowercase.
bool LowercaseFromStoredCase(const std::wstring& stored);
bool IncludeEnterFromStoredValue(unsigned int stored);
