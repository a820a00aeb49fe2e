// Resource and control ids of the tool's dialogs and menu.
#pragma once

// Dialog templates.
constexpr int IDD_SCAN_PORT = 129;
constexpr int IDD_DEVICE_SETTING = 131;
constexpr int IDR_SETTING_MENU = 132;
constexpr int IDD_MAIN = 133;

// Main window (133).
constexpr int IDC_BTN_SCAN = 1081;
constexpr int IDC_BTN_UPDATE = 1082;
constexpr int IDC_BTN_SETTING = 1083;
constexpr int IDC_BTN_START = 1084;
constexpr int IDC_STC_IMEI = 1085;
constexpr int IDC_CMB_PORT = 1086;
constexpr int IDC_PROGRESS = 1087;

// Scan COM Port (129).
constexpr int IDC_LST_PORTS = 1015;
constexpr int IDC_STC_SCAN_STATUS = 1016;
constexpr int IDC_BTN_SCAN_OK = 1;  // IDOK

// Menu 132: commands shared with the Device Setting dialog's buttons.
constexpr int ID_FILE_IMPORT = 32771;
constexpr int ID_FILE_EXPORT = 32772;
constexpr int ID_DEVICE_GET_SETTING = 32774;
constexpr int ID_DEVICE_SET_SETTING = 32775;
constexpr int ID_APP_EXIT = 57665;
