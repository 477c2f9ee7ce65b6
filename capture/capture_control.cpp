#include "capture/capture_control.h"

std::atomic<bool> captureActive{false};
int capturedDevice = 0;
