// The device combo box: one item per DeviceList entry, in list order, and after them the
// remembered device when it is not connected.
#pragma once

#include "devices/device_list.h"

#include <windows.h>

// Rebuilds the list, refills the combo box and selects what the state calls for: while capture
// runs, the device it runs on (the not-connected item while it waits for it); otherwise the
// remembered device, present or not. Nothing is selected when nothing is remembered: the user
// has to choose. Not a selection change: nothing is saved or logged.
void fillDeviceSelector(HWND dialog);

// The entry under the current selection, or null (also for the not-connected item).
const DeviceEntry* selectedDeviceEntry(HWND dialog);

// The not-connected item of the remembered device is selected.
bool AbsentDeviceSelected(HWND dialog);

// CBN_SELCHANGE: remembers, saves, logs, and moves a running capture to the new device.
void OnDeviceSelectionChange(HWND dialog);
