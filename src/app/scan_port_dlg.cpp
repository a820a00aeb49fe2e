#include "app/scan_port_dlg.h"

#include <algorithm>

#include "common/tool_texts.h"
#include "common/tool_timings.h"
#include "res/dialog_templates.h"
#include "res/resource_ids.h"
#include "serial/port_items.h"

CScanPortDlg::CScanPortDlg(std::vector<std::string> portItems, ui::TemplateDialog* owner)
    : ui::TemplateDialog(res::ScanPortDialogTemplate(), owner), m_portItems(std::move(portItems)) {
  FitToTexts();
}

void CScanPortDlg::FitToTexts() {
  // The widest entry and status these ports can bring, each with the room
  // its control needs around the text.
  int entryWidth = 0;
  int statusWidth =
      std::max(WidthToShow(IDC_STC_SCAN_STATUS, kScanComplete), WidthToShow(IDC_STC_SCAN_STATUS, kScanBreak));
  for (const std::string& item : m_portItems) {
    const std::string name = PortNameFromItem(item);
    for (const char* suffix : {kScanOpenSuccess, kScanCheckFailed, kScanOpenFailed})
      entryWidth = std::max(entryWidth, WidthToShow(IDC_LST_PORTS, name + suffix));
    statusWidth = std::max(statusWidth, WidthToShow(IDC_STC_SCAN_STATUS, ScanningText(name)));
  }

  // The status line and OK share the row below the list.
  ui::PixelRect list = ItemRect(IDC_LST_PORTS);
  ui::PixelRect status = ItemRect(IDC_STC_SCAN_STATUS);
  ui::PixelRect ok = ItemRect(IDOK);
  const int gap = ok.left - status.Right();
  const int margin = ClientWidth() - list.Right();

  list.width = std::max(list.width, entryWidth);
  status.width = std::max(status.width, statusWidth);
  ok.left = std::max(status.Right() + gap, list.Right() - ok.width + 1);
  status.width = ok.left - gap - status.left + 1;
  SetItemRect(IDC_LST_PORTS, list);
  SetItemRect(IDC_STC_SCAN_STATUS, status);
  SetItemRect(IDOK, ok);
  const int dialogWidth = std::max(list.Right(), ok.Right()) + margin;
  if (dialogWidth > ClientWidth()) SetClientWidth(dialogWidth);
}

CScanPortDlg::~CScanPortDlg() {
  // A dialog destroyed without OK still silences its worker; the thread keeps
  // running to the end of its probe on the shared state alone.
  StopBackgroundWork();
  if (m_scan) m_scan->Break();
  if (m_hScanThread != nullptr) CloseHandle(m_hScanThread);
}

bool CScanPortDlg::OnInitDialog() {
  PlaceBelowOwnerTop(SCAN_DIALOG_OFFSET_Y);

  std::vector<std::string> names;
  for (const std::string& item : m_portItems) {
    names.push_back(PortNameFromItem(item));
    AddString(IDC_LST_PORTS, names.back());
  }

  // The worker's texts reach the dialog as posted calls that do nothing once
  // it is gone; after a break the scan sends none at all.
  const ui::DialogRef<CScanPortDlg> dialog(Ref());
  m_scan = std::make_shared<PortScan>(
      std::move(names),
      [dialog](const std::string& text) { dialog.Post([text](CScanPortDlg& d) { d.ShowStatus(text); }); },
      [dialog](int index, const std::string& text) {
        dialog.Post([index, text](CScanPortDlg& d) { d.ShowEntry(index, text); });
      });
  m_hScanThread = m_scan->Start();
  return true;
}

void CScanPortDlg::ShowStatus(const std::string& text) {
  // A status queued just before the break must not cover "Break scan.".
  if (m_bBreaking) return;
  SetItemText(IDC_STC_SCAN_STATUS, text);
}

void CScanPortDlg::ShowEntry(int index, const std::string& text) {
  // The entry is replaced in place: taken out and put back with its result.
  if (index < 0 || index >= ItemCount(IDC_LST_PORTS)) return;
  DeleteString(IDC_LST_PORTS, index);
  InsertString(IDC_LST_PORTS, index, text);
}

void CScanPortDlg::OnOK() {
  if (m_bBreaking) return;
  m_bBreaking = true;
  if (m_scan) m_scan->Break();
  SetItemText(IDC_STC_SCAN_STATUS, kScanBreak);
  // A worker inside a probe may outlast the bound; it then ends on its own,
  // closes its port after the probe and reports nothing.
  if (m_hScanThread == nullptr) {
    EndDialog(IDOK);
    return;
  }
  WaitThen(m_hScanThread, SCAN_BREAK_WAIT_MS, [this](DWORD) { EndDialog(IDOK); });
}
