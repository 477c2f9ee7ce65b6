// Start at logon. A package installed for every user starts the program from the machine's
// Run key; a copy unpacked from the zip registers itself in the user's.
#pragma once

#include <string>

// True when a Run command starts a program file named Wendalux.exe, in any folder and any
// case, quoted or not.
bool CommandStartsWendalux(const std::wstring& command);

// At every start. When a machine-wide Run value starts a Wendalux.exe, the user's own value
// "Wendalux" is deleted, so that two copies never start at logon; otherwise that value is set
// to the quoted program path and " --tray". Every failure is silent.
void RegisterAutostart();
