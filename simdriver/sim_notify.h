// The device notice Windows sends a program when a keyboard comes or goes. The stand-in runs in
// the program's process, so it tells the program's own windows.
#pragma once

#include "simdriver/sim_driver.h"

#include <vector>

// Sends each event, in order, to every top-level window of this process and waits a few
// seconds at most for each; nothing where there is no Windows.
void SimAnnounce(const std::vector<SimDeviceEvent>& events);
