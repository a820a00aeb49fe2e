// Template 129, the Scan COM Port dialog: the list of ports with their scan
// results, the status line and OK. It has a caption bar but no system menu,
// so no close box.
#include "res/dialog_templates.h"
#include "res/resource_ids.h"
#include "ui/window_styles.h"

namespace res {

using ui::ControlClass;

const ui::DialogTemplate& ScanPortDialogTemplate() {
  static const ui::DialogTemplate t{
      .id = IDD_SCAN_PORT,
      .caption = "Scan COM Port",
      .fontName = "System",
      .fontPointSize = 10,
      .cx = 121,
      .cy = 142,
      .style = WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT,
      .controls =
          {
              {IDC_LST_PORTS, ControlClass::ListBox, "", 7, 7, 107, 108,
               WS_BORDER | WS_VSCROLL | WS_HSCROLL | LBS_NOSEL | LBS_NOINTEGRALHEIGHT | WS_TABSTOP},
              {IDC_STC_SCAN_STATUS, ControlClass::Static, "", 7, 121, 76, 14, SS_LEFT | SS_CENTERIMAGE},
              {IDC_BTN_SCAN_OK, ControlClass::Button, "OK", 87, 121, 27, 14, BS_DEFPUSHBUTTON | WS_TABSTOP},
          },
  };
  return t;
}

}  // namespace res
