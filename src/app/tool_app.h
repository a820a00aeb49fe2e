// The application object: takes the program's name from its executable (the
// caption of message boxes shown without one), shows the main window
// modally and ends the program when it closes.
//
// Thread contract: GUI thread only; a ui::Application must exist.
#pragma once

#include <string>

#include "app/main_dlg.h"
#include "platform/win_types.h"

class CToolApp {
 public:
  // `port` preselects a port in the main window's list (empty: none).
  explicit CToolApp(std::string port = {});

  // Shows the main window until it closes. Returns FALSE: the program has no
  // message loop of its own after the window.
  BOOL InitInstance();

  // The main window while it is shown, else null.
  CMainDlg* m_pMainWnd = nullptr;

 private:
  std::string m_port;
};
