// The Scan COM Port dialog (template 129): a view over a PortScan. It lists
// the owner's ports, lets the scan worker probe each of them in turn and
// shows each outcome behind the port's name and the scan's progress in the
// status line. OK (or Escape) breaks the scan and ends the dialog.
//
// The scan's results live in the shared PortScan, not in the dialog: the
// caller reads the found port from Scan() after DoModal, and a worker still
// inside a probe when the dialog ends reports nothing more and never reaches
// the dialog (PortScan::Break silences it; its texts come through calls
// posted to a DialogRef).
//
// Thread contract: GUI thread only; the scan worker reaches the dialog
// through a DialogRef. OK's wait for the worker runs as background work
// (busy meanwhile); a worker that outlasts it ends on the shared scan state
// alone, after at most one probe.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/tool_timings.h"
#include "serial/port_scan.h"
#include "ui/template_dialog.h"

// The dialog's place: this many pixels below its owner's top edge, at its left edge.
constexpr int SCAN_DIALOG_OFFSET_Y = 20;

class CScanPortDlg : public ui::TemplateDialog {
 public:
  // portItems: the owner's port list as it reads ("COM3:"), in order.
  // owner: null for the application's main window.
  explicit CScanPortDlg(std::vector<std::string> portItems, ui::TemplateDialog* owner = nullptr);
  ~CScanPortDlg() override;

  // The scan's shared state, once the dialog has started it (null before).
  // Its FoundIndex() is the position of the last port on which a tracker
  // answered, -1 when none; it stays readable after the dialog has ended.
  const std::shared_ptr<PortScan>& Scan() const { return m_scan; }

  HANDLE m_hScanThread = nullptr;

 protected:
  bool OnInitDialog() override;
  // Breaks the scan, shows "Break scan.", waits for the worker at most
  // SCAN_BREAK_WAIT_MS (busy) and ends the dialog.
  void OnOK() override;
  // Escape and a close request end the dialog the same way as OK.
  void OnCancel() override { OnOK(); }
  void OnClose() override { OnOK(); }

 private:
  // Widens the list, the status line and the dialog so that the longest
  // entry and status these ports can bring show whole (long device paths such
  // as /dev/pts/10 do not fit the template's width).
  void FitToTexts();
  void ShowStatus(const std::string& text);
  void ShowEntry(int index, const std::string& text);

  std::vector<std::string> m_portItems;
  std::shared_ptr<PortScan> m_scan;
  bool m_bBreaking = false;  // OK was pressed: late status texts are ignored
};
