// Resource and control numbers shared by the resource script and the windows.
#pragma once

#define IDD_OSTRELIN_DIALOG 102
#define IDD_MESSAGE_DIALOG 103
#define IDR_MAINFRAME 128
#define IDB_LED_DISPLAY 130
#define IDB_POINTING_HAND 133

#define IDC_FILE_NAME 1000
#define IDC_BROWSE 1001
#define IDC_PROGRESS 1002
#define IDC_UPDATE 1003
#define IDC_SERIAL_NO 1004
#define IDC_WRITE 1005
#define IDC_READ 1006
#define IDC_COUNT_UP 1007
#define IDC_MESSAGE_TEXT 1009
#define IDC_DROP_HINT 1011

// The tray window's controls: header lines, PAUSE, a tile and a bar a slot.
#define IDC_TRAY_HEADER 1100
#define IDC_TRAY_PAUSE 1110
#define IDC_TRAY_TILE 1200
#define IDC_TRAY_BAR 1300
