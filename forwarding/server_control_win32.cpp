#include "forwarding/server_control.h"

#include "capture/capture_control.h"
#include "forwarding/port_text.h"
#include "forwarding/tcp_server.h"
#include "resources/resource.h"
#include "shell/log_line.h"
#include "shell/main_dialog.h"

#include <string>

namespace {

constexpr int PortTextCharacters = 16;

}  // namespace

void OnPortFieldChanged(HWND dialog) {
    wchar_t text[PortTextCharacters] = {};
    GetDlgItemTextW(dialog, IDC_PORT, text, PortTextCharacters);
    uint16_t port = PortFromText(text);
    if (port == 0 || port == tcpPort.load()) {
        return;
    }
    tcpPort = port;
    SaveSettingsForSelection(dialog);
    if (captureActive.load()) {
        LogLine(L"Port changed to " + std::to_wstring(port) + L" - restarting TCP server...");
        StopTcpServer();
        StartTcpServer();
    }
}

void OnResetClicked() {
    if (!captureActive.load()) {
        return;
    }
    CloseClientConnection();
    LogLine(L"Reset: client connection closed.");
    SetTcpStatus(TcpListening);
}
