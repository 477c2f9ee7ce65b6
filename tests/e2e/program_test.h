// The fixture every end-to-end test starts from: a fresh user, a free port, and the program
// ended and forgotten afterwards, whatever happened.
#pragma once

#include "e2e/app_harness.h"
#include "forwarding/scan_frame.h"
#include "resources/resource.h"
#include "support/test_client.h"
#include "support/test_environment.h"

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

const std::string ScannerId = "HID\\VID_1234&PID_ABCD&REV_0100&MI_00";
const std::wstring ScannerDescription = L"[VID_1234&PID_ABCD&REV_0100&MI_00]";
const std::string ActiveState = "[Capture]\r\nActive=1\r\n";

// The program with keyboards and scanners of the test's choosing, the scanner remembered by
// its id.
class ScannerProgramTest : public ProgramTest {
protected:
    std::string ScannerConfig(int device, int instance = 1) {
        return "[Device]\r\nInterceptionId=" + std::to_string(device) +
               "\r\nHardwareId=" + ScannerId + "\r\nInstance=" + std::to_string(instance) +
               "\r\n[Tcp]\r\nPort=" + std::to_string(port) + "\r\nCase=upper\r\nIncludeEnter=1\r\n";
    }

    void Launch(const std::string& devices, const wchar_t* arguments = L"") {
        AppOptions options;
        options.devices = devices;
        options.arguments = arguments;
        ASSERT_TRUE(LaunchAndFindWindow(app, options));
    }

    void Quit() {
        PostCommand(app, IDM_QUIT);
        ASSERT_EQ(0, WaitForExit(app));
        Kill(app);
    }

    // A scan typed on a device arrives whole at a connected client.
    void ExpectScanArrives(int device, const std::string& text) {
        if (client == InvalidSocket) {
            client = ConnectClient(port);
            ASSERT_TRUE(WaitForControlText(app.window, IDC_TCP_STATUS, L"Connected"));
        }
        ASSERT_EQ("ok", SimCommand(app, "scan " + std::to_string(device) + " " + text));
        std::string frame = BuildScanFrame(text + "\r");
        EXPECT_EQ(frame, ReadBytes(client, frame.size()));
    }

    // Typed on a device, the text reaches the system (press and release of each key), and the
    // device's number ends unfiltered.
    void ExpectTypedIntoSystem(int device, const std::string& text) {
        ASSERT_EQ("ok", SimCommand(app, "type " + std::to_string(device) + " " + text));
        auto seen = SimSystemAtLeast(app, 2 * text.size());
        ASSERT_EQ(2 * text.size(), seen.size());
        for (const std::string& line : seen) {
            EXPECT_EQ(std::to_string(device) + " ", line.substr(0, 2)) << line;
        }
        EXPECT_TRUE(
            WaitUntil([&] { return SimCommand(app, "filter " + std::to_string(device)) == "0"; }));
    }
};
