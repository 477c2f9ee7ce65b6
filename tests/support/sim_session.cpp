#include "support/sim_session.h"

#include "capture/interception_driver.h"
#include "support/test_environment.h"

#include <cstdio>
#include <cstdlib>

bool SimSession::Open(const std::string& devices) {
    std::string portFile = TemporaryPath("sim-port");
    SetEnvironment("INTERCEPTION_SIM_DEVICES", devices);
    SetEnvironment("INTERCEPTION_SIM_PORT", "0");
    SetEnvironment("INTERCEPTION_SIM_PORT_FILE", portFile);
    SetEnvironment("INTERCEPTION_SIM_UNAVAILABLE", "0");
    SocketLibraryStart();
    interceptionContext = CreateInterceptionContext();
    if (interceptionContext == nullptr) {
        return false;
    }
    unsigned long port = std::strtoul(ReadWholeFile(portFile).c_str(), nullptr, 10);
    std::remove(portFile.c_str());
    control = SocketConnect(LoopbackAddress, static_cast<uint16_t>(port));
    return control != InvalidSocket;
}

void SimSession::Close() {
    if (control != InvalidSocket) {
        SocketClose(control);
        control = InvalidSocket;
    }
    DestroyInterceptionContext();
    SocketLibraryStop();
}

std::string SimSession::ReadLine() {
    size_t newline;
    while ((newline = received.find('\n')) == std::string::npos) {
        char buffer[4096];
        int count = SocketReceive(control, buffer, sizeof buffer);
        if (count <= 0) {
            std::string rest = received;
            received.clear();
            return rest;
        }
        received.append(buffer, static_cast<size_t>(count));
    }
    std::string line = received.substr(0, newline);
    received.erase(0, newline + 1);
    return line;
}

std::string SimSession::Command(const std::string& line) {
    std::string request = line + "\n";
    if (!SocketSendAll(control, request.data(), request.size(), 10000)) {
        return "send failed";
    }
    return ReadLine();
}

std::vector<std::string> SimSession::System() {
    std::vector<std::string> lines;
    std::string request = "system\n";
    SocketSendAll(control, request.data(), request.size(), 10000);
    for (std::string line = ReadLine(); line != "end" && !line.empty(); line = ReadLine()) {
        lines.push_back(line);
    }
    return lines;
}
