// The widgets behind the tool's windows, by the names the tests use.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "app/main_dlg.h"
#include "res/resource_ids.h"
#include "app/scan_port_dlg.h"
#include "ui/qt/progress_ctrl.h"
#include "ui/qt/qt_access.h"

inline QPushButton* StartButton(const CMainDlg& w) { return ui::qt::ControlAs<QPushButton>(w, IDC_BTN_START); }
inline QPushButton* SettingButton(const CMainDlg& w) { return ui::qt::ControlAs<QPushButton>(w, IDC_BTN_SETTING); }
inline QPushButton* UpdateButton(const CMainDlg& w) { return ui::qt::ControlAs<QPushButton>(w, IDC_BTN_UPDATE); }
inline QPushButton* ScanButton(const CMainDlg& w) { return ui::qt::ControlAs<QPushButton>(w, IDC_BTN_SCAN); }
inline QComboBox* PortCombo(const CMainDlg& w) { return ui::qt::ControlAs<QComboBox>(w, IDC_CMB_PORT); }
inline QLabel* ImeiLabel(const CMainDlg& w) { return ui::qt::ControlAs<QLabel>(w, IDC_STC_IMEI); }
inline ui::ProgressCtrl* ProgressBar(const CMainDlg& w) { return ui::qt::ControlAs<ui::ProgressCtrl>(w, IDC_PROGRESS); }

inline QLabel* ScanStatus(const CScanPortDlg& d) { return ui::qt::ControlAs<QLabel>(d, IDC_STC_SCAN_STATUS); }
inline QListWidget* PortList(const CScanPortDlg& d) { return ui::qt::ControlAs<QListWidget>(d, IDC_LST_PORTS); }
