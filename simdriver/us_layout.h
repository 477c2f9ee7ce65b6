// Key strokes that type printable ASCII on a US keyboard, for the stand-in's "type" command.
#pragma once

#include "simdriver/sim_driver.h"

#include <optional>
#include <string>
#include <vector>

// How a scanner types ASCII control characters (GS, RS, EOT, ...): as Ctrl with a key, the way
// a terminal reads them (Ctrl+] for GS), or in "Alt mode", as Alt held while the decimal value
// is typed on the keypad.
enum class ControlStyle { Ctrl, AltCode };

// Press and release strokes for text, with left Shift around each shifted character and
// control characters in the given style; nothing when the text holds a character that a US
// keyboard cannot type.
std::optional<std::vector<SimStroke>> StrokesForText(int device, const std::string& text,
                                                     ControlStyle style = ControlStyle::Ctrl);

constexpr uint16_t SimEnterCode = 0x1C;
