// Template 133, the main window: port list, Scan COM Port, Start/Stop,
// Setting, Update, the IMEI line and the progress bar. The caption is
// replaced at run time with the title that carries the build date. The port
// box is wide enough for the longest item (a 14-character device path and
// its colon), e.g. "/dev/ttyUSB100:".
#include "res/dialog_templates.h"
#include "res/resource_ids.h"
#include "ui/window_styles.h"

namespace res {

using ui::ControlClass;
using ui::IDC_STATIC;

const ui::DialogTemplate& MainDialogTemplate() {
  static const ui::DialogTemplate t{
      .id = IDD_MAIN,
      .caption = "KV-770 Tool v1.4",
      .fontName = "System",
      .fontPointSize = 10,
      .cx = 254,
      .cy = 60,
      .style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME | DS_SETFONT,
      .controls =
          {
              {IDC_BTN_START, ControlClass::Button, "Start", 195, 7, 52, 12, BS_DEFPUSHBUTTON | WS_TABSTOP},
              {IDC_BTN_SETTING, ControlClass::Button, "Setting", 195, 24, 52, 12,
               BS_PUSHBUTTON | WS_DISABLED | WS_TABSTOP},
              {IDC_BTN_UPDATE, ControlClass::Button, "Update", 195, 41, 52, 12, BS_PUSHBUTTON | WS_TABSTOP},
              {IDC_BTN_SCAN, ControlClass::Button, "Scan COM Port", 130, 7, 52, 12, BS_PUSHBUTTON | WS_TABSTOP},
              {IDC_CMB_PORT, ControlClass::ComboBox, "", 51, 7, 72, 46, CBS_DROPDOWN | WS_VSCROLL | WS_TABSTOP},
              {IDC_STATIC, ControlClass::Static, "COM Port:", 7, 7, 36, 12, SS_CENTERIMAGE},
              {IDC_STATIC, ControlClass::Static, "IMEI Number", 7, 24, 43, 12, SS_CENTERIMAGE},
              {IDC_STC_IMEI, ControlClass::Static, "", 51, 24, 131, 12, WS_BORDER | SS_SUNKEN | SS_CENTERIMAGE},
              {IDC_PROGRESS, ControlClass::Progress, "", 7, 41, 175, 12, WS_BORDER | PBS_SMOOTH},
          },
  };
  return t;
}

}  // namespace res
