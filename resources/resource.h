// Resource and control ids, shared by wendalux.rc and the program.
#pragma once

// The main window's caption; a second copy looks for a running copy's window by it.
#define MAIN_CAPTION "Marrowick - Ferroquill  Ver.: 2026-05-24-45"

#define IDD_MAIN 101
#define IDI_APP 102
#define IDR_TRAY_MENU 103
#define IDB_LOGO 104
#define IDB_USB_PLUG 105
#define IDB_NETWORK 106
#define IDB_TRANSFER 107

#define IDC_DEVICE_SELECTOR 1001
#define IDC_REFRESH 1002
#define IDC_CAPTURE_STATUS 1003
#define IDC_START_STOP 1004
#define IDC_CASE_UPPER 1014
#define IDC_CASE_LOWER 1015
#define IDC_INCLUDE_ENTER 1016
#define IDC_CASE_AS_SCANNED 1017
#define IDC_SCAN_END 1018
#define IDC_PAUSE_MS 1019
#define IDC_LOCAL_IP 1020
#define IDC_PORT 1021
#define IDC_TCP_STATUS 1022
#define IDC_RESET 1023
#define IDC_LOG_SPARE 1024
#define IDC_ACCEPT 1025
#define IDC_MINIMIZE_TO_TRAY 1032
#define IDC_CLEAR_LOG 1033
#define IDC_LOG 1035
#define IDC_LOGO 1036
#define IDC_FOOTER 1037
#define IDC_COPY_LOG 1038
#define IDC_TITLE 1039
#define IDC_USB_PICTURE 1040
#define IDC_NETWORK_PICTURE 1041
#define IDC_TRANSFER_PICTURE 1042
#define IDC_LOG_TOGGLE 1043
#define IDC_LOG_LABEL 1044

#define IDM_SHOW_WINDOW 2001
#define IDM_HIDE_WINDOW 2002
#define IDM_QUIT 2003
