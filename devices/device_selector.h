// The device combo box: one item per DeviceList entry, in list order.
#pragma once

#include "devices/device_list.h"

#include <windows.h>

#include <string>

// Rebuilds the list, refills the combo box and selects the last entry whose hardware id is
// the preferred one, or the first entry. Not a selection change: nothing is saved or logged.
void fillDeviceSelector(HWND dialog, const std::wstring& preferredHardwareId);

// The entry under the current selection, or null.
const DeviceEntry* selectedDeviceEntry(HWND dialog);

// Start-up: the saved device number is found in a fresh list and selected by hardware id.
void SelectDeviceAtStartup(HWND dialog, int savedDevice);

// CBN_SELCHANGE: saves, logs, and moves a running capture to the new device.
void OnDeviceSelectionChange(HWND dialog);
