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
    return ControlConnect(control, static_cast<uint16_t>(port));
}

void SimSession::Close() {
    ControlClose(control);
    DestroyInterceptionContext();
    SocketLibraryStop();
}

std::string SimSession::ReadLine() {
    return ControlCommand(control, "");
}

std::string SimSession::Command(const std::string& line) {
    return ControlCommand(control, line);
}

std::vector<std::string> SimSession::System() {
    return ControlSystem(control);
}
