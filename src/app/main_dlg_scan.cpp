// Scan COM Port on the main window: probes every listed port in the scan
// dialog and selects the last one on which a tracker answered.
#include "app/main_dlg.h"

#include "serial/scan_port_dlg.h"
#include "ui/text.h"

void CMainDlg::OnScanComPort() {
  m_portBox->Settle();
  FillPortList();
  if (SayWhenNoPort() || m_cmbPort->currentIndex() == -1) return;

  std::vector<std::string> items;
  for (int i = 0; i < m_cmbPort->count(); ++i) items.push_back(ui::FromQt(m_cmbPort->itemText(i)));
  CScanPortDlg dialog(std::move(items), this);
  dialog.DoModal();

  // The result comes from the scan's shared state, which a worker still
  // finishing its last probe no longer changes after the break.
  const int found = dialog.Scan() ? dialog.Scan()->FoundIndex() : -1;
  if (found >= 0 && found < m_cmbPort->count()) m_cmbPort->setCurrentIndex(found);
}
