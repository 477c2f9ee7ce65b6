// How the values read from config.ini become options, and how options are written there.
#pragma once

#include "capture/scan_end.h"

#include <cstdint>
#include <optional>
#include <string>

// The stored port's low 16 bits, with no range check: 65536 + p is p.
uint16_t PortFromStoredValue(unsigned int stored);
// Only the exact, case-sensitive words "lower" and "keep" select lowercase and the case as
// scanned; anything else is upper case.
LetterCase LetterCaseFromStored(const std::wstring& stored);
const wchar_t* StoredLetterCase(LetterCase letters);
bool IncludeEnterFromStoredValue(unsigned int stored);
// "enter", "tab" or "pause", exactly; nothing for any other text.
std::optional<ScanEnd> ScanEndFromStored(const std::wstring& stored);
const wchar_t* StoredScanEnd(ScanEnd end);
// Decimal digits only, from lowest to highest; nothing for any other text.
std::optional<int> WholeNumberFromText(const std::wstring& text, int lowest, int highest);
// A pause length in milliseconds within the range the window allows.
std::optional<int> PauseFromText(const std::wstring& text);
