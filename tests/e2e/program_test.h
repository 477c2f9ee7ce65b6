// The fixture every end-to-end test starts from: a fresh user, a free port, and the program
// ended and forgotten afterwards, whatever happened.
#pragma once

#include "e2e/app_harness.h"
#include "resources/resource.h"
#include "support/test_client.h"

#include <gtest/gtest.h>

// What the program says when the keyboard filter driver is missing.
constexpr const wchar_t* DriverMissingText =
    L"The keyboard filter driver (Interception) is not available.\n\nWendalux receives the "
    L"scanner's keys through it. It is installed apart from Wendalux: install it, restart "
    L"Windows, and try again.";

class ProgramTest : public ::testing::Test {
protected:
    App app;
    uint16_t port = 0;
    SocketHandle client = InvalidSocket;  // closed at the end, if a test left it open

    void SetUp() override {
        SocketLibraryStart();
        ResetUserState();
        port = FreeTcpPort();
    }

    void TearDown() override {
        if (client != InvalidSocket) {
            SocketClose(client);
        }
        Kill(app);
        SocketLibraryStop();
    }
};

// The program running with the scanner (device 2) saved and its server listening.
class RunningProgramTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        WriteSettings(ConfigFor(2, port));
        ASSERT_TRUE(LaunchAndFindWindow(app, {}));
        ASSERT_TRUE(WaitForControlText(app.window, IDC_TCP_STATUS, L"Listening"));
    }

    void StartCapture() {
        PostCommand(app, IDC_START_STOP);
        ASSERT_TRUE(WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Connected"));
    }
};
