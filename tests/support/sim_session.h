// Opens the stand-in driver the way the program does (through the loaded library) and talks
// to its control channel, so that the same test runs natively and under Wine.
#pragma once

#include "support/control_channel.h"

#include <string>
#include <vector>

struct SimSession {
    ControlChannel control;

    // Sets interceptionContext; false when the library or its channel is not there.
    bool Open(const std::string& devices);
    // Destroys the context and forgets the connection.
    void Close();
    // One command and its one-line reply, without the line break.
    std::string Command(const std::string& line);
    // The strokes that reached the system since the last call, as "D CODE STATE" lines.
    std::vector<std::string> System();
    // The next line of a reply that has several.
    std::string ReadLine();
};
