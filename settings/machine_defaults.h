// Options an administrator sets for every user of a PC, used where a user has no value of
// their own: %ProgramData%\Wendalux\defaults.ini (the sections and keys of config.ini), then
// the values the installer package keeps from its command line (PORT=... and so on) under
// HKLM\Software\Marrowick\Wendalux\Defaults\<section>. The file wins over the package's
// values, so that a default can be changed later without reinstalling.
#pragma once

#include <optional>
#include <string>

struct StoredOption {
    std::wstring text;
    std::wstring source;  // where it was read, for the log: "defaults.ini", a registry key
};

// The machine's value for a key; nothing when neither place gives one (an empty registry
// value is not given).
std::optional<StoredOption> MachineDefault(const wchar_t* section, const wchar_t* key);
