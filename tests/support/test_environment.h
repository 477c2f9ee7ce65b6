// Small portable helpers for tests: environment variables, temporary files, waiting.
#pragma once

#include <chrono>
#include <functional>
#include <string>

void SetEnvironment(const std::string& name, const std::string& value);
// A fresh path in the temporary folder, unique within this process run.
std::string TemporaryPath(const std::string& stem);
std::string ReadWholeFile(const std::string& path);

// Polls until the condition holds or the time is up; the result of the last poll.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds limit = std::chrono::seconds(30));

// Handles (file descriptors natively) the process holds now, to tell a leak.
int OpenHandleCount();
