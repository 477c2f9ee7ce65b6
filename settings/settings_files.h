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

// Each file is written whole: its text goes to "<name>.tmp" beside it, which then replaces
// it, so that a write cut short leaves the old file or the new one, never half of one. A file
// that holds the text already is left alone. A failure is logged.
//
// Writes device number, port, case and Enter options and the [Scan] options, all of them every
// time, and beside the number the device's hardware id and instance (left out when the
// identity has no id, or an id that would not fit on one line).
void SaveSettings(const DeviceIdentity& device);
void SaveCaptureActive(bool active);
// True when tcpPort or pauseMilliseconds, the options typed into fields, differ from what was
// last saved or loaded.
bool TypedOptionsChangedSinceSave();

// The temporary files of a save cut short; once at start, by the copy that runs.
void RemoveStaleTemporaryFiles();

// config.ini exists and holds the four values every version of the program wrote.
bool ConfigFileUsable();

// Reads the options into tcpPort, letterCase, includeEnter, scanEnd, pauseMilliseconds and the
// connection options; returns the remembered device (number 0 and no id for none; no id for a
// file written before ids were kept). Each option the user's config.ini lacks comes from the
// machine's defaults, else the built-in default; a device from the machine's defaults only
// when the user has chosen none. A config.ini that is not usable counts as missing, which is
// logged. A [Scan] section is not needed: files of older versions lack it.
DeviceIdentity LoadSettings();

enum class CaptureAtStart { Off, Resume, ByDefaults };
// Whether capture was active when the program last ended; for a user who has never started
// capture, whether the machine's defaults say it starts ([Capture] Active=1).
CaptureAtStart LoadCaptureAtStart();
