#include "serial/scan_port_dlg.h"

#include <algorithm>

#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>

#include "common/tool_texts.h"
#include "common/tool_timings.h"
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
  FitToTexts();
}

void CScanPortDlg::FitToTexts() {
  // The widest entry and status these ports can bring, in the list's and the
  // status line's own fonts.
  const QFontMetrics listFont(m_lstPorts->font());
  const QFontMetrics statusFont(m_stcScanStatus->font());
  int entryWidth = 0;
  int statusWidth = std::max(statusFont.horizontalAdvance(ui::ToQt(kScanComplete)),
                             statusFont.horizontalAdvance(ui::ToQt(kScanBreak)));
  for (const std::string& item : m_portItems) {
    const std::string name = PortNameFromItem(item);
    for (const char* suffix : {kScanOpenSuccess, kScanCheckFailed, kScanOpenFailed})
      entryWidth = std::max(entryWidth, listFont.horizontalAdvance(ui::ToQt(name + suffix)));
    statusWidth = std::max(statusWidth, statusFont.horizontalAdvance(ui::ToQt(ScanningText(name))));
  }

  // The list keeps room for its frame, the item margins and a vertical
  // scroll bar; the status line and OK share the row below it.
  QStyle* style = m_lstPorts->style();
  const int listChrome = 2 * m_lstPorts->frameWidth() + 2 * (style->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1) +
                         style->pixelMetric(QStyle::PM_ScrollBarExtent) + 4;
  QRect list = m_lstPorts->geometry();
  QRect status = m_stcScanStatus->geometry();
  QWidget* ok = Control(IDOK);
  QRect okPlace = ok->geometry();
  const int gap = okPlace.left() - status.right();
  const int margin = width() - list.right();

  list.setWidth(std::max(list.width(), entryWidth + listChrome));
  status.setWidth(std::max(status.width(), statusWidth + 2 * m_stcScanStatus->margin() + 2));
  okPlace.moveLeft(std::max(status.right() + gap, list.right() - okPlace.width() + 1));
  status.setRight(okPlace.left() - gap);
  m_lstPorts->setGeometry(list);
  m_stcScanStatus->setGeometry(status);
  ok->setGeometry(okPlace);
  const int dialogWidth = std::max(list.right(), okPlace.right()) + margin;
  if (dialogWidth > width()) setFixedWidth(dialogWidth);
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
