// The main window's Setting button: the Device Setting dialog, modal, on the
// window's open port.
#include "app/main_dlg.h"
#include "res/resource_ids.h"
#include "app/device_setting_dlg.h"

void CMainDlg::OnSetting() {
  // The dialog works on the open connection: the box shows its port.
  m_portBox.Settle();
  if (!m_connectedItem.empty()) SelectItem(m_connectedItem);
  CDeviceSettingDlg dialog(m_hPort, this);
  // The reader leaves the port to the dialog's own reader while it is open.
  m_reader->m_bReaderPaused = 1;
  dialog.SetImei(ItemText(IDC_STC_IMEI));
  m_pChildDialog = &dialog;
  dialog.DoModal();
  m_pChildDialog = nullptr;
  m_reader->m_bReaderPaused = 0;
  // The dialog has said the tracker is gone: the connection ends without a
  // second box about the same loss.
  if (dialog.LineLossSaid()) EndLostConnection(false);
}
