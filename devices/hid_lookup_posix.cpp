// Native test builds have no HID devices to ask.
#include "devices/device_list.h"

std::wstring lookupHidProductName(const std::wstring&) {
    return std::wstring();
}
