#include "common/log_line.h"

#include <windows.h>

LocalClock CurrentLocalTime() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return {now.wHour, now.wMinute, now.wSecond};
}
