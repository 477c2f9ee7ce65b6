// The dialog's two server controls: the port field and "Reset".
#pragma once

#include <windows.h>

// EN_CHANGE of the port field, key stroke by key stroke: a new non-zero port is put in tcpPort
// and restarts the server while capture runs. The file is not written here.
void OnPortFieldChanged(HWND dialog);
// Drops the client while capture runs; the listening socket stays open. The server thread
// reports the status that follows (Listening, or Connected when a waiting client comes in).
void OnResetClicked();

// The dialog timer that tries again to start a server whose thread could not be created.
constexpr UINT_PTR ServerRetryTimer = 3;
// Starts the server; when the system refuses, tries again every 5 seconds.
void StartServer(HWND dialog);
// ServerRetryTimer.
void RetryServerStart(HWND dialog);
// At capture start: a port changed while capture was stopped is put in force now.
void ApplyPortToServer(HWND dialog);

// The address the window shows: the LAN address, or 127.0.0.1 when only this computer may
// connect.
void ShowListenAddress(HWND dialog);
// The Accept field's choices and the rule in force.
void FillAcceptField(HWND dialog);
// The Accept field was chosen from or left: a valid new rule is put in force (the server
// restarts, the settings are saved by the caller when this returns true); anything else is
// logged and the rule in force shown again.
bool OnAcceptField(HWND dialog, WORD notification);

// The dialog timer that expires held scans while any are held.
constexpr UINT_PTR HeldScanTimer = 4;
// WM_APP_TCP_STATUS: a client that has just connected gets the held scans first; the timer
// runs while scans are held.
void OnServerStatus(HWND dialog, WPARAM status);
// HeldScanTimer.
void ExpireHeldScansNow(HWND dialog);
