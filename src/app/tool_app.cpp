#include "app/tool_app.h"

#include <QApplication>

#include "res/app_icon.h"
#include "res/version_info.h"
#include "ui/application.h"
#include "ui/text.h"

CToolApp::CToolApp(std::string port) : m_port(std::move(port)) {
  // Qt takes the application's name from the executable's file name.
  ui::SetApplicationName(ui::FromQt(QCoreApplication::applicationName()));
  QCoreApplication::setApplicationVersion(QString::fromLatin1(res::ToolVersion().productVersion));
  QApplication::setWindowIcon(res::AppIcon());
}

BOOL CToolApp::InitInstance() {
  CMainDlg dialog;
  m_pMainWnd = &dialog;
  ui::SetMainWindow(&dialog);
  if (!m_port.empty()) dialog.PreselectPort(m_port);
  dialog.DoModal();
  ui::SetMainWindow(nullptr);
  m_pMainWnd = nullptr;
  return FALSE;
}
