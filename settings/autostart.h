#pragma once

// Registers the program to start hidden in the tray at the user's logon: the Run value
// "Wendalux" holds the quoted program path and " --tray". Every failure is silent.
void RegisterAutostart();
