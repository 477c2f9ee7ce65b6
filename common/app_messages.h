// The main dialog's private window messages. Worker threads only ever post them.
#pragma once

// The tray icon's events (notification-icon version 4): wParam the anchor point, LOWORD(lParam)
// the event.
constexpr unsigned WM_APP_TRAY = 0x8001;
constexpr unsigned WM_APP_LOG = 0x8002;         // no parameters: log lines wait in the log queue
constexpr unsigned WM_APP_TCP_STATUS = 0x8004;  // wParam: the new TcpStatus
// Posted by the dialog to itself at start-up; no parameters.
constexpr unsigned WM_APP_AUTO_RESTART = 0x8005;
// From the capture thread: the key queue holds an Enter or a whole batch; no parameters.
constexpr unsigned WM_APP_KEYS = 0x8006;
// From the capture thread: the scanner is now at the number wParam, or away (0); lParam is the
// capture start it belongs to (captureSession).
constexpr unsigned WM_APP_SCANNER = 0x8007;
// Posted by the dialog to itself after WM_DPICHANGED, once Windows has rescaled the controls;
// wParam is the new DPI.
constexpr unsigned WM_APP_DPI_CHANGED = 0x8010;
