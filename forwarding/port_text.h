#pragma once

#include <cstdint>
#include <string>

// The port field's text as the C library would read a decimal int (leading blanks and a sign
// accepted, stopping at the first other character, saturating at the 32-bit limits), reduced
// to its low 16 bits. 0 means no usable port.
uint16_t PortFromText(const std::wstring& text);
