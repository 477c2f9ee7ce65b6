// Sets up the program for a screenshot, then waits to be ended. The calling script takes the
// picture once the ready file holds the window's and the work area's rectangles.
// Usage: screenshot_scene.exe main|capture|waiting READY_FILE
#include "e2e/app_harness.h"

#include "resources/resource.h"
#include "support/test_client.h"
#include "support/test_environment.h"

#include <cstdio>
#include <fstream>
#include <thread>

int wmain(int argc, wchar_t** argv) {
    using namespace std::chrono_literals;
    if (argc < 3) {
        std::fprintf(stderr, "usage: screenshot_scene main|capture|waiting READY_FILE\n");
        return 2;
    }
    std::wstring scene = argv[1];
    SocketLibraryStart();
    ResetUserState();
    uint16_t port = FreeTcpPort();
    App app;
    AppOptions options;
    if (scene == L"waiting") {
        // The remembered scanner is not plugged in: listed as not connected, waited for.
        options.devices = "1=ACPI\\PNP0303";
        WriteSettings(
            "[Device]\r\nInterceptionId=2\r\nHardwareId=HID\\VID_1234&PID_ABCD&REV_0100"
            "&MI_00\r\nInstance=1\r\n[Tcp]\r\nPort=" +
                std::to_string(port) + "\r\nCase=upper\r\nIncludeEnter=1\r\n",
            "[Capture]\r\nActive=1\r\n");
    }
    if (scene == L"capture") {
        WriteSettings("[Device]\r\nInterceptionId=2\r\n[Tcp]\r\nPort=" + std::to_string(port) +
                          "\r\nCase=upper\r\nIncludeEnter=1\r\n",
                      "[Capture]\r\nActive=1\r\n");
    }
    if (!LaunchAndFindWindow(app, options)) {
        std::fprintf(stderr, "the program's window did not appear\n");
        return 1;
    }
    ShowWindow(app.window, SW_SHOW);
    SocketHandle client = InvalidSocket;
    if (scene == L"capture") {
        PostCommand(app, IDC_LOG_TOGGLE);
        WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Connected");
        client = ConnectClient(port);
        WaitForControlText(app.window, IDC_TCP_STATUS, L"Connected");
        for (const char* code : {"4006381333931", "Wx-7731/b#42", "LOT:2026-12-07;QTY:48"}) {
            SimCommand(app, std::string("scan 2 ") + code);
            std::this_thread::sleep_for(300ms);
        }
        WaitForLog(app, L"SCAN #3");
    } else if (scene == L"waiting") {
        PostCommand(app, IDC_LOG_TOGGLE);
        WaitForControlText(app.window, IDC_CAPTURE_STATUS, L"Waiting for device");
    } else {
        WaitForControlText(app.window, IDC_TCP_STATUS, L"Listening");
    }
    std::this_thread::sleep_for(500ms);
    RECT window = {}, workArea = {};
    GetWindowRect(app.window, &window);
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &workArea, 0);
    auto size = [](const RECT& r) {
        return std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top) + " at " +
               std::to_string(r.left) + "," + std::to_string(r.top);
    };
    std::ofstream(argv[2]) << "window " << size(window) << ", work area " << size(workArea) << "\n";
    std::this_thread::sleep_for(120s);
    if (client != InvalidSocket) {
        SocketClose(client);
    }
    Kill(app);
    return 0;
}
