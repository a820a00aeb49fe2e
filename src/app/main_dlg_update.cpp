#include "app/main_dlg.h"

void CMainDlg::OnUpdate() {}
