// Reduces a device identification text (a hardware id or a device interface path) to a key
// that compares vendor, product and interface number only.
#pragma once

#include <string>

// "VID_vvvv", "&PID_pppp", "&MI_ii", each present only if found, from an upper-cased copy.
std::wstring buildDeviceKey(const std::wstring& text);
