// How a scan's bytes are shown to a person: the ASCII control characters that structured
// barcodes carry (GS between GS1 fields, RS and EOT around ISO/IEC 15434 messages) by their
// names in angle brackets, everything else as it is.
#pragma once

#include <string>

// Bytes 0x00 to 0x1F and 0x7F become "<NUL>" ... "<US>" and "<DEL>"; the rest is unchanged.
std::string NameControlBytes(const std::string& bytes);

// For the log: the names above, and bytes 0x80 to 0xFF as the Windows-1252 characters an Alt
// code on the scanner means (the five bytes that code page leaves out as "<x81>" and the like).
std::wstring ScanForLog(const std::string& bytes);
