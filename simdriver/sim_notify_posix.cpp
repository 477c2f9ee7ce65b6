#include "simdriver/sim_notify.h"

// Native test programs have no windows to tell.
void SimAnnounce(const std::vector<SimDeviceEvent>&) {}
