// Scan COM Port on the main window: probes every listed port in the scan
// dialog and selects the last one on which a tracker answered.
#include "app/main_dlg.h"
#include "res/resource_ids.h"
#include "app/scan_port_dlg.h"

void CMainDlg::OnScanComPort() {
  m_portBox.Settle();
  FillPortList();
  if (SayWhenNoPort() || CurSel(IDC_CMB_PORT) == -1) return;

  std::vector<std::string> items;
  for (int i = 0; i < ItemCount(IDC_CMB_PORT); ++i) items.push_back(ItemString(IDC_CMB_PORT, i));
  CScanPortDlg dialog(std::move(items), this);
  m_pChildDialog = &dialog;
  dialog.DoModal();
  m_pChildDialog = nullptr;

  // The result comes from the scan's shared state, which a worker still
  // finishing its last probe no longer changes after the break.
  const int found = dialog.Scan() ? dialog.Scan()->FoundIndex() : -1;
  if (found >= 0 && found < ItemCount(IDC_CMB_PORT)) SetCurSel(IDC_CMB_PORT, found);
}
