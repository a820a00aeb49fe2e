// The main window's Setting button: the Device Setting dialog, modal, on the
// window's open port.
#include "app/main_dlg.h"
#include "settings/device_setting_dlg.h"
#include "ui/text.h"

void CMainDlg::OnSetting() {
  // The dialog works on the open connection: the box shows its port.
  m_portBox->Settle();
  if (!m_connectedItem.empty()) SelectItem(m_connectedItem);
  CDeviceSettingDlg dialog;
  const std::string imei = ui::FromQt(m_stcImei->text());
  // The reader leaves the port to the dialog's own reader while it is open.
  m_reader->m_bReaderPaused = 1;
  dialog.SetImei(imei);
  dialog.DoModal();
  m_reader->m_bReaderPaused = 0;
}
