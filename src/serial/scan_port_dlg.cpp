#include "serial/scan_port_dlg.h"

#include <QPointer>

#include "res/dialog_templates.h"
#include "res/resource_ids.h"
#include "serial/port_items.h"
#include "ui/gui_call.h"
#include "ui/pumped_wait.h"
#include "ui/text.h"

CScanPortDlg::CScanPortDlg(std::vector<std::string> portItems, QWidget* owner)
    : ui::TemplateDialog(res::ScanPortDialogTemplate(), owner), m_portItems(std::move(portItems)) {
  m_stcScanStatus = ControlAs<QLabel>(IDC_STC_SCAN_STATUS);
  m_lstPorts = ControlAs<QListWidget>(IDC_LST_PORTS);
}

CScanPortDlg::~CScanPortDlg() {
  // A dialog destroyed without OK still silences its worker; the thread keeps
  // running to the end of its probe on the shared state alone.
  if (m_scan) m_scan->Break();
  if (m_hScanThread != nullptr) CloseHandle(m_hScanThread);
}

bool CScanPortDlg::OnInitDialog() {
  PlaceBelowOwnerTop();

  std::vector<std::string> names;
  for (const std::string& item : m_portItems) {
    names.push_back(PortNameFromItem(item));
    m_lstPorts->addItem(ui::ToQt(names.back()));
  }

  // The worker's texts reach the dialog as queued calls that do nothing once
  // it is gone; after a break the scan sends none at all.
  QPointer<CScanPortDlg> dialog(this);
  m_scan = std::make_shared<PortScan>(
      std::move(names),
      [dialog](const std::string& text) {
        ui::Post(dialog, [dialog, text] { dialog->ShowStatus(text); });
      },
      [dialog](int index, const std::string& text) {
        ui::Post(dialog, [dialog, index, text] { dialog->ShowEntry(index, text); });
      });
  m_hScanThread = m_scan->Start();
  return true;
}

void CScanPortDlg::PlaceBelowOwnerTop() {
  const QWidget* owner = parentWidget();
  if (owner == nullptr) return;
  const QRect ownerFrame = owner->frameGeometry();
  move(ownerFrame.left(), ownerFrame.top() + SCAN_DIALOG_OFFSET_Y);
}

void CScanPortDlg::ShowStatus(const std::string& text) {
  // A status queued just before the break must not cover "Break scan.".
  if (m_bBreaking) return;
  m_stcScanStatus->setText(ui::ToQt(text));
}

void CScanPortDlg::ShowEntry(int index, const std::string& text) {
  // The entry is replaced in place: taken out and put back with its result.
  if (index < 0 || index >= m_lstPorts->count()) return;
  delete m_lstPorts->takeItem(index);
  m_lstPorts->insertItem(index, ui::ToQt(text));
}

void CScanPortDlg::OnOK() {
  if (m_bBreaking) return;
  m_bBreaking = true;
  if (m_scan) m_scan->Break();
  m_stcScanStatus->setText(ui::ToQt(kScanBreak));
  // A worker inside a probe may outlast the bound; it then ends on its own,
  // closes its port after the probe and reports nothing.
  if (m_hScanThread != nullptr) ui::WaitPumping(m_hScanThread, SCAN_BREAK_WAIT_MS);
  EndDialog(IDOK);
}
