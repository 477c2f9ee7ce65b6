#include "settings/settings_values.h"

uint16_t PortFromStoredValue(unsigned int stored) {
    return static_cast<uint16_t>(stored & 0xFFFF);
}

LetterCase LetterCaseFromStored(const std::wstring& stored) {
    if (stored == L"lower") {
        return LetterCase::Lower;
    }
    return stored == L"keep" ? LetterCase::AsScanned : LetterCase::Upper;
}

const wchar_t* StoredLetterCase(LetterCase letters) {
    switch (letters) {
        case LetterCase::Lower:
            return L"lower";
        case LetterCase::AsScanned:
            return L"keep";
        case LetterCase::Upper:
            break;
    }
    return L"upper";
}

bool IncludeEnterFromStoredValue(unsigned int stored) {
    return stored != 0;
}

std::optional<ScanEnd> ScanEndFromStored(const std::wstring& stored) {
    if (stored == L"enter") {
        return ScanEnd::Enter;
    }
    if (stored == L"tab") {
        return ScanEnd::Tab;
    }
    if (stored == L"pause") {
        return ScanEnd::Pause;
    }
    return std::nullopt;
}

const wchar_t* StoredScanEnd(ScanEnd end) {
    switch (end) {
        case ScanEnd::Tab:
            return L"tab";
        case ScanEnd::Pause:
            return L"pause";
        case ScanEnd::Enter:
            break;
    }
    return L"enter";
}

std::optional<int> WholeNumberFromText(const std::wstring& text, int lowest, int highest) {
    // More digits than any value allowed has are out of range, whatever they say.
    if (text.empty() || text.size() > 9) {
        return std::nullopt;
    }
    int value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') {
            return std::nullopt;
        }
        value = value * 10 + (c - L'0');
    }
    if (value < lowest || value > highest) {
        return std::nullopt;
    }
    return value;
}

std::optional<int> PauseFromText(const std::wstring& text) {
    return WholeNumberFromText(text, MinPauseMilliseconds, MaxPauseMilliseconds);
}
