// Key strokes that type printable ASCII on a US keyboard, for the stand-in's "type" command.
#pragma once

#include "simdriver/sim_driver.h"

#include <optional>
#include <string>
#include <vector>

// Press and release strokes for text, with left Shift around each shifted character; nothing
// when the text holds a character that a US keyboard cannot type.
std::optional<std::vector<SimStroke>> StrokesForText(int device, const std::string& text);

constexpr uint16_t SimEnterCode = 0x1C;
