#include "app/tool_app.h"

#include "app/close_signals.h"

#include "res/app_icon.h"
#include "ui/application.h"

CToolApp::CToolApp(std::string port) : m_port(std::move(port)) {
  ui::SetApplicationName(ui::ExecutableName());
  ui::SetApplicationIcon(res::kAppIconPng, res::kAppIconPngSize);
}

BOOL CToolApp::InitInstance() {
  CMainDlg dialog;
  m_pMainWnd = &dialog;
  ui::SetMainWindow(&dialog);
  if (!m_port.empty()) dialog.PreselectPort(m_port);
  {
    const CloseOnSignals signals(dialog);
    dialog.DoModal();
  }
  ui::SetMainWindow(nullptr);
  m_pMainWnd = nullptr;
  return FALSE;
}
