// Drives the real Wendalux.exe from outside, as a person or another program would: starts it,
// finds its windows, reads control texts, posts commands, and talks to the stand-in driver.
#pragma once

#include "support/control_channel.h"

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

constexpr const wchar_t* MainWindowCaption = L"Marrowick - Ferroquill  Ver.: 2026-05-24-45";
constexpr const char* DefaultSimDevices = "1=ACPI\\PNP0303;2=HID\\VID_1234&PID_ABCD&REV_0100&MI_00";

struct AppOptions {
    std::wstring arguments;
    std::string devices = DefaultSimDevices;
    bool driverUnavailable = false;
    bool withDriver = true;  // interception.dll beside the program
    int filterDelayMs = 0;   // how long the stand-in takes to set a filter
    // Any absent number may be plugged again, for tests that re-plug more often than the
    // driver has numbers; otherwise a number once used is never given again.
    bool reuseNumbers = false;
    bool arrivalUnfiltered = false;  // a keyboard that arrives starts with filter 0
    int unavailableCalls = 0;        // how many context creations the driver refuses first
};

struct App {
    PROCESS_INFORMATION process = {};
    HWND window = nullptr;
    uint16_t simPort = 0;
    ControlChannel sim;
};

// A folder holding a copy of the program and, when asked, the stand-in driver.
std::wstring PrepareAppFolder(bool withDriver);
std::wstring ProgramCopyPath(bool withDriver);
// A copy of the program alone in a folder of the given name, made afresh; its path.
std::wstring PrepareProgramCopy(const wchar_t* folder);

// The per-user settings folder and its files, and the Run value, as a fresh user has them.
std::wstring SettingsFolderPath();
void ResetUserState();
void WriteSettings(const std::string& configIni, const std::string& captureStateIni = "");
std::string ReadSettingsFile(const wchar_t* name);

bool Launch(App& app, const AppOptions& options);
// Starts the program and waits for its main window; false when it never appears.
bool LaunchAndFindWindow(App& app, const AppOptions& options);
// Waits for the program to end; its exit code, or -1 after the time limit.
int WaitForExit(App& app, std::chrono::milliseconds limit = std::chrono::seconds(30));
// Ends the program if it still runs and forgets it.
void Kill(App& app);

HWND FindProcessWindow(DWORD process, const wchar_t* caption, std::chrono::milliseconds limit);
std::wstring WindowText(HWND window);
std::wstring ControlText(HWND dialog, int id);
std::wstring LogText(const App& app);
bool WaitForLog(const App& app, const std::wstring& fragment,
                std::chrono::milliseconds limit = std::chrono::seconds(30));
bool WaitForControlText(HWND dialog, int id, const std::wstring& text,
                        std::chrono::milliseconds limit = std::chrono::seconds(30));
// Posts WM_COMMAND with the id, as a click or a menu choice arrives.
void PostCommand(const App& app, int id, int notification = 0);
// Waits until the window has handled everything posted to it before, and what it posted to
// itself while handling those; false when it never does. A log backlog of more than two parts
// (16,000 characters) may still be showing: wait for its last line instead.
bool RoundTrip(const App& app);
// The window's thread answers a sent message within the limit: nothing holds it.
bool Answers(const App& app, std::chrono::milliseconds limit);

// A message box of the program: its text, and the OK that dismisses it.
std::wstring MessageBoxText(HWND box);
void DismissMessageBox(HWND box);

// One command on the stand-in driver's control channel and its first reply line; an empty
// command takes the next line of a reply that has several.
std::string SimCommand(App& app, const std::string& line);

std::string Narrow(const std::wstring& text);

// The strokes that reached the system since the last call, as "D CODE STATE" lines.
std::vector<std::string> SimSystem(App& app);
// Strokes that reached the system, gathered until there are at least count of them.
std::vector<std::string> SimSystemAtLeast(App& app, size_t count);
// Waits until the program has taken every stroke typed so far: the stand-in holds none for it.
bool SimStrokesTaken(App& app);

// WM_SETTEXT on a control, as typing into it would leave it (an edit raises EN_CHANGE).
void SetControlText(HWND dialog, int id, const std::wstring& text);
// BM_CLICK: the button behaves as if the user clicked it.
void ClickButton(HWND dialog, int id);
// Selects a combo box item and notifies the dialog as a user's choice would.
void ChooseDevice(const App& app, int index);

// The log's entries without their time prefix.
std::vector<std::wstring> LogEntries(const App& app);

// A config.ini that selects the device and port, uppercase with Enter.
std::string ConfigFor(int device, uint16_t port);
