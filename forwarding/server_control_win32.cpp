#include "forwarding/server_control.h"

#include "capture/capture_control.h"
#include "common/log_line.h"
#include "common/app_messages.h"
#include "forwarding/held_scans.h"
#include "forwarding/port_text.h"
#include "forwarding/tcp_server.h"
#include "resources/resource.h"

#include <string>

namespace {

constexpr int PortTextCharacters = 16;
constexpr UINT ServerRetryMilliseconds = 5000;
constexpr UINT HeldScanCheckMilliseconds = 1000;

void RestartServer(HWND dialog, uint16_t port) {
    LogLine(L"Port changed to " + std::to_wstring(port) + L" - restarting TCP server...");
    KillTimer(dialog, ServerRetryTimer);
    StopTcpServer();
    StartServer(dialog);
}

}  // namespace

void OnPortFieldChanged(HWND dialog) {
    wchar_t text[PortTextCharacters] = {};
    GetDlgItemTextW(dialog, IDC_PORT, text, PortTextCharacters);
    uint16_t port = PortFromText(text);
    if (port == 0 || port == tcpPort.load()) {
        return;
    }
    tcpPort = port;
    if (captureActive.load()) {
        RestartServer(dialog, port);
    }
}

void StartServer(HWND dialog) {
    if (!StartTcpServer()) {
        SetTimer(dialog, ServerRetryTimer, ServerRetryMilliseconds, nullptr);
    }
}

void RetryServerStart(HWND dialog) {
    KillTimer(dialog, ServerRetryTimer);
    if (!serverThread.joinable()) {
        StartServer(dialog);
    }
}

void ApplyPortToServer(HWND dialog) {
    uint16_t port = tcpPort.load();
    if (serverThread.joinable() && serverPort.load() != port) {
        RestartServer(dialog, port);
    }
}

void OnServerStatus(HWND dialog, WPARAM status) {
    if (status == TcpConnected) {
        DeliverHeldScans(HeldClock::now());
    }
    if (HeldScanCount() > 0) {
        SetTimer(dialog, HeldScanTimer, HeldScanCheckMilliseconds, nullptr);
    } else {
        KillTimer(dialog, HeldScanTimer);
    }
}

void ExpireHeldScansNow(HWND dialog) {
    ExpireHeldScans(HeldClock::now());
    PostMessageW(dialog, WM_APP_TCP_STATUS, static_cast<WPARAM>(tcpStatus.load()), 0);
}

void OnResetClicked() {
    if (!captureActive.load()) {
        return;
    }
    CloseClientConnection();
    LogLine(L"Reset: client connection closed.");
}
