#include "settings/autostart.h"

#include <gtest/gtest.h>

namespace {

TEST(AutostartCommand, OnlyTheProgramsOwnFileNameCounts) {
    const struct {
        const wchar_t* command;
        bool startsWendalux;
    } cases[] = {
        {L"\"C:\\Program Files\\Wendalux\\Wendalux.exe\" --tray", true},
        {L"C:\\Program Files\\Wendalux\\WENDALUX.EXE --tray", true},  // unquoted, with spaces
        {L"%ProgramFiles%\\Wendalux\\wendalux.exe", true},
        {L"C:/tools/Wendalux.exe\t--tray", true},
        {L"\"D:Wendalux.exe\"", true},
        {L"Wendalux.exe", true},
        {L"C:\\Wendalux\\Wendalux.exe.old --tray", false},
        {L"C:\\Tools\\MyWendalux.exe --tray", false},
        {L"C:\\Wendalux\\other.exe --tray", false},
        {L"\"C:\\Wendalux\\other.exe\" C:\\x\\NotWendalux.exe", false},
        {L"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.startsWendalux, CommandStartsWendalux(c.command))
            << testing::PrintToString(std::wstring(c.command));
    }
}

}  // namespace
