#include "settings/autostart.h"

#include <cwctype>

namespace {

const std::wstring ProgramFile = L"wendalux.exe";

bool EndsName(wchar_t c) {
    return c == L'"' || c == L' ' || c == L'\t';
}

bool StartsName(wchar_t c) {
    return c == L'\\' || c == L'/' || c == L'"' || c == L':';
}

}  // namespace

bool CommandStartsWendalux(const std::wstring& command) {
    std::wstring lower = command;
    for (wchar_t& c : lower) {
        c = static_cast<wchar_t>(std::towlower(c));
    }
    // Only the program's own file name counts: "wendalux.exe.old" or "mywendalux.exe" do not.
    for (size_t at = lower.find(ProgramFile); at != std::wstring::npos;
         at = lower.find(ProgramFile, at + 1)) {
        size_t end = at + ProgramFile.size();
        bool whole =
            (at == 0 || StartsName(lower[at - 1])) && (end == lower.size() || EndsName(lower[end]));
        if (whole) {
            return true;
        }
    }
    return false;
}
