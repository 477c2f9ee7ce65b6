// The device combo box: one item per DeviceList entry, in list order.
#pragma once

#include "devices/device_list.h"

#include <windows.h>

// Rebuilds the list, refills the combo box and selects what the state calls for: while capture
// runs, the device it runs on (nothing while it waits for it); otherwise the remembered device
// when present, else the first entry. Not a selection change: nothing is saved or logged.
void fillDeviceSelector(HWND dialog);

// Selects the entry of a device number, or nothing when the list has none.
void SelectDeviceNumber(HWND dialog, int deviceNumber);

// The entry under the current selection, or null.
const DeviceEntry* selectedDeviceEntry(HWND dialog);

// CBN_SELCHANGE: remembers, saves, logs, and moves a running capture to the new device.
void OnDeviceSelectionChange(HWND dialog);
