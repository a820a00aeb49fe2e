#include "ui/application.h"

#include <cstdlib>

#include <QApplication>
#include <QIcon>
#include <QPixmap>
#include <QThread>

#include "ui/qt/text.h"

namespace ui {
struct Application::Impl {
  Impl(int& argc, char** argv) : app(argc, argv) {}
  QApplication app;
};

Application::Application(int& argc, char** argv) : impl_(std::make_unique<Impl>(argc, argv)) {}
Application::~Application() = default;

bool HasDisplay() {
  return std::getenv("DISPLAY") != nullptr || std::getenv("WAYLAND_DISPLAY") != nullptr ||
         std::getenv("QT_QPA_PLATFORM") != nullptr;
}

std::string ExecutableName() { return FromQt(QCoreApplication::applicationName()); }

void SetApplicationIcon(const unsigned char* png, unsigned int size) {
  QPixmap pixmap;
  pixmap.loadFromData(png, size, "PNG");
  QApplication::setWindowIcon(QIcon(pixmap));
}

bool IsGuiThread() {
  const QCoreApplication* app = QCoreApplication::instance();
  return app != nullptr && QThread::currentThread() == app->thread();
}

}  // namespace ui
