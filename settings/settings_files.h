// The two INI files in the per-user settings folder: config.ini for the options and
// capture_state.ini for whether capture was running when the program last ended.
#pragma once

#include "devices/device_identity.h"

#include <string>

// The roaming application-data folder followed by "\Wendalux"; empty when that folder cannot
// be determined, and then no file is read or written anywhere.
std::wstring SettingsFolder();

// Each call first creates the settings folder (its last level only). Empty when there is no
// settings folder.
std::wstring ConfigFilePath();
std::wstring CaptureStateFilePath();

// Writes device number, port, case and Enter options, all four every time, and beside the
// number the device's hardware id and instance (removed when the identity has no id).
void SaveSettings(const DeviceIdentity& device);
void SaveCaptureActive(bool active);

// Reads the options into tcpPort, lowercaseOutput and includeEnter; returns the remembered
// device (number 0 and no id for none; no id for a file written before ids were kept).
DeviceIdentity LoadSettings();
bool LoadCaptureActive();
