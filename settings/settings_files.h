// The two INI files in the per-user settings folder: config.ini for the options and
// capture_state.ini for whether capture was running when the program last ended.
#pragma once

#include <string>

// The roaming application-data folder followed by "\Wendalux"; empty when that folder cannot
// be determined, and then no file is read or written anywhere.
std::wstring SettingsFolder();

// Each call first creates the settings folder (its last level only). Empty when there is no
// settings folder.
std::wstring ConfigFilePath();
std::wstring CaptureStateFilePath();

// Writes device, port, case and Enter options, all four every time.
void SaveSettings(int deviceNumber);
void SaveCaptureActive(bool active);

// Reads the options into tcpPort, lowercaseOutput and includeEnter; returns the remembered
// device number (0 for none).
int LoadSettings();
bool LoadCaptureActive();
