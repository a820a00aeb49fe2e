#include <QApplication>
#include <gtest/gtest.h>

// Qt's libraries are not built with ThreadSanitizer: their thread pool (used
// while painting) and their reference counts hand memory between threads
// through futexes and atomics the sanitizer cannot see, so the memory calls
// made from inside Qt show up as races. The same holds for GLib, whose main
// contexts Qt's threads run on. Those calls are left out; everything the
// tool's own code does is still checked. (Read by ThreadSanitizer at
// start-up; unused in other builds.)
// NOLINTNEXTLINE(bugprone-reserved-identifier): the name ThreadSanitizer looks for
extern "C" const char* __tsan_default_suppressions() {
  return "called_from_lib:libQt6Core.so.6\n"
         "called_from_lib:libQt6Gui.so.6\n"
         "called_from_lib:libQt6Widgets.so.6\n"
         "called_from_lib:libglib-2.0.so.0\n";
}

// GUI tests share one QApplication on the offscreen platform.
int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
