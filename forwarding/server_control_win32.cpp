#include "forwarding/server_control.h"

#include "capture/capture_control.h"
#include "common/app_messages.h"
#include "common/log_line.h"
#include "forwarding/accept_rule.h"
#include "forwarding/held_scans.h"
#include "forwarding/local_address.h"
#include "forwarding/port_text.h"
#include "forwarding/tcp_server.h"
#include "resources/resource.h"

#include <string>

namespace {

constexpr int PortTextCharacters = 16;
constexpr UINT ServerRetryMilliseconds = 5000;
constexpr UINT HeldScanCheckMilliseconds = 1000;
// A list of addresses as long as anyone would type into the field.
constexpr int AcceptTextCharacters = 1024;

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

void ShowListenAddress(HWND dialog) {
    SetDlgItemTextW(
        dialog, IDC_LOCAL_IP,
        acceptRule.localOnly ? L"127.0.0.1 (this computer only)" : GetLocalIpAddress().c_str());
}

void FillAcceptField(HWND dialog) {
    for (const wchar_t* choice : {L"any", L"local"}) {
        SendDlgItemMessageW(dialog, IDC_ACCEPT, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(choice));
    }
    SetDlgItemTextW(dialog, IDC_ACCEPT, AcceptRuleText(acceptRule).c_str());
    ShowListenAddress(dialog);
}

bool OnAcceptField(HWND dialog, WORD notification) {
    wchar_t text[AcceptTextCharacters] = {};
    if (notification == CBN_SELCHANGE) {
        LRESULT chosen = SendDlgItemMessageW(dialog, IDC_ACCEPT, CB_GETCURSEL, 0, 0);
        if (chosen < 0 || SendDlgItemMessageW(dialog, IDC_ACCEPT, CB_GETLBTEXTLEN, chosen, 0) >=
                              AcceptTextCharacters) {
            return false;
        }
        SendDlgItemMessageW(dialog, IDC_ACCEPT, CB_GETLBTEXT, chosen,
                            reinterpret_cast<LPARAM>(text));
    } else if (notification == CBN_KILLFOCUS) {
        GetDlgItemTextW(dialog, IDC_ACCEPT, text, AcceptTextCharacters);
    } else {
        return false;
    }
    auto rule = ParseAcceptRule(text);
    if (!rule) {
        LogLine(L"Accept: \"" + std::wstring(text) +
                L"\" is not any, local or a list of IPv4 addresses; " + AcceptRuleText(acceptRule) +
                L" is kept.");
        SetDlgItemTextW(dialog, IDC_ACCEPT, AcceptRuleText(acceptRule).c_str());
        return false;
    }
    std::wstring wanted = AcceptRuleText(*rule);
    if (wanted == AcceptRuleText(acceptRule)) {
        return false;
    }
    // The server thread reads the rule: it changes only while no thread runs.
    LogLine(L"Accept changed to " + wanted + L" - restarting TCP server...");
    KillTimer(dialog, ServerRetryTimer);
    StopTcpServer();
    acceptRule = *rule;
    StartServer(dialog);
    SetDlgItemTextW(dialog, IDC_ACCEPT, wanted.c_str());
    ShowListenAddress(dialog);
    return true;
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
