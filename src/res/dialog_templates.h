// The dialog templates of the tool, as data (see ui/dialog_template.h).
// The Device Setting dialog's template (131) lives with that dialog.
#pragma once

#include "ui/dialog_template.h"

namespace res {

// Template 133: the main window.
const ui::DialogTemplate& MainDialogTemplate();
// Template 129: the Scan COM Port dialog.
const ui::DialogTemplate& ScanPortDialogTemplate();

}  // namespace res
