// The stand-in driver's control channel: a line-based text protocol on 127.0.0.1 through
// which tests type on the simulated keyboards and read what reached the system.
#pragma once

#include "simdriver/sim_driver.h"

#include <string>

constexpr size_t SimMaxLineBytes = 4096;

// One command line (without its line break) to its reply, which ends with a line break.
std::string SimHandleCommand(SimContext& context, const std::string& line);

// Listens on 127.0.0.1 and port (0: any free port), writing the port in decimal to portFile
// when one is named. False when the port cannot be had.
bool SimStartControlChannel(SimContext& context, uint16_t port, const std::string& portFile);
void SimStopControlChannel(SimContext& context);
