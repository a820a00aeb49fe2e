// The dialog templates of the tool, as data (see ui/dialog_template.h).
#pragma once

#include "ui/dialog_template.h"

namespace res {

// Template 133: the main window.
const ui::DialogTemplate& MainDialogTemplate();
// Template 131: the Device Setting dialog.
const ui::DialogTemplate& DeviceSettingDialogTemplate();
// Template 129: the Scan COM Port dialog.
const ui::DialogTemplate& ScanPortDialogTemplate();

}  // namespace res
