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

// Device Setting (131). The setting fields take their ids from the settings
// table (settings/settings_table.h); these are the dialog's other controls.
constexpr int IDC_BTN_SET_TO_DEVICE = 1057;
constexpr int IDC_STC_TRANSFER_STATUS = 1058;
constexpr int IDC_STC_TRANSFER_RESULT = 1059;
constexpr int IDC_BTN_EXIT = 1062;
constexpr int IDC_EDT_FIRMWARE_VERSION = 1065;
constexpr int IDC_STC_REPORT_METHOD = 1066;
constexpr int IDC_STC_ECHO_ENABLE = 1067;
constexpr int IDC_STC_PARK_RETURN_TIMES = 1068;
constexpr int IDC_STC_ENABLE_CELL_ID = 1069;
constexpr int IDC_BTN_IMPORT = 1073;
constexpr int IDC_BTN_EXPORT = 1074;
constexpr int IDC_BTN_GET_DEVICE_SETTING = 1075;
constexpr int IDC_STC_DISCONNECT_INTERVAL = 1078;
constexpr int IDC_STC_MODE_STATUS = 1079;
constexpr int IDC_STC_GSM_OFF_IN_STATIC = 1081;
constexpr int IDC_STC_SETTING_IMEI = 1091;
constexpr int IDC_STC_DEVICE_NAME = 1092;
constexpr int IDC_STC_DISCONNECT_UNIT = 1093;

// Menu 132: commands shared with the Device Setting dialog's buttons.
constexpr int ID_FILE_IMPORT = 32771;
constexpr int ID_FILE_EXPORT = 32772;
constexpr int ID_DEVICE_GET_SETTING = 32774;
constexpr int ID_DEVICE_SET_SETTING = 32775;
constexpr int ID_APP_EXIT = 57665;
