#pragma once

#include <string>

// UTF-8 bytes to UTF-16 text; malformed sequences become U+FFFD, as the platform's converter
// does. Empty gives empty.
std::wstring Utf8ToWide(const std::string& bytes);
