// Turning capture on and off.
#pragma once

#include <atomic>

extern std::atomic<bool> captureActive;
