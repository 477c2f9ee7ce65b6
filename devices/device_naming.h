// How a keyboard is named for the user, from its hardware id and its HID product name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct DeviceNames {
    std::wstring description;  // long: log lines
    std::wstring label;        // short: the device selector
};

// The first string of a driver reply: up to the first NUL, or the whole buffer when it holds
// none. Never reads past the buffer.
std::wstring HardwareIdFromBuffer(const uint16_t* buffer, size_t units);

// From the first "VID_" (case-sensitive) up to the first backslash after it, or else the first
// "#" after it, or else the end.
std::wstring LongIdOf(const std::wstring& hardwareId);
// longId cut after the four characters that follow its "PID_", when it has them.
std::wstring ShortIdOf(const std::wstring& longId);

DeviceNames NameDevice(const std::wstring& hardwareId, const std::wstring& productName);
