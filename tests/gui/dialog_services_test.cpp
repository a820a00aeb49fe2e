// Message boxes and file dialogs as workers and dialogs call them: carried
// out on the GUI thread, captioned with the program's name by default, and
// answered by the tests' hooks.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <QWidget>
#include <atomic>
#include <thread>

#include "gui_recorders.h"
#include "res/dialog_templates.h"
#include "ui/application.h"
#include "ui/template_dialog.h"

namespace {

TEST(MessageBox, WorkerBoxesAreShownOnTheGuiThreadWithTheProgramsNameAsDefaultCaption) {
  ui::SetApplicationName("kvtool");
  MessageBoxRecorder boxes;
  std::atomic<bool> hookOnGuiThread{false};
  boxes.OnShow([&](const ui::MessageBoxRequest&) { hookOnGuiThread = ui::IsGuiThread(); });
  boxes.Answer(IDNO);

  ui::TemplateDialog owner(res::ScanPortDialogTemplate());
  const ui::WindowRef guard = owner.Ref();
  std::atomic<int> answers[2] = {-1, -1};
  std::thread worker([&] {
    answers[0] = ui::ShowMessageBox(guard, "Open COM port fail!!", {}, MB_ICONEXCLAMATION);
    answers[1] = ui::ShowMessageBox(guard, "Update x Failed", "Error", MB_ICONERROR | MB_YESNO);
  });
  ASSERT_TRUE(QTest::qWaitFor([&] { return answers[1] != -1; }, 10000));
  worker.join();

  EXPECT_TRUE(hookOnGuiThread);
  EXPECT_EQ(answers[0], IDNO);
  EXPECT_EQ(answers[1], IDNO);
  const auto shown = boxes.Shown();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].text, "Open COM port fail!!");
  EXPECT_EQ(shown[0].caption, "kvtool");
  EXPECT_EQ(shown[0].type, MB_ICONEXCLAMATION);
  EXPECT_EQ(shown[1].caption, "Error");
  EXPECT_EQ(shown[1].type, MB_ICONERROR | MB_YESNO);
}

TEST(MessageBox, OwnerThatIsGoneGetsNoBox) {
  MessageBoxRecorder boxes;
  auto owner = std::make_unique<ui::TemplateDialog>(res::ScanPortDialogTemplate());
  const ui::WindowRef guard = owner->Ref();
  owner.reset();
  EXPECT_EQ(ui::ShowMessageBox(guard, "late"), 0);
  EXPECT_TRUE(boxes.Shown().empty());
}

TEST(FileDialog, FrameworkFilterStringsSplitIntoPairs) {
  const auto filters = ui::ParseFilterString("Setting file (*.ini)|*.ini|All files (*.*)|*.*||");
  ASSERT_EQ(filters.size(), 2u);
  EXPECT_EQ(filters[0].description, "Setting file (*.ini)");
  EXPECT_EQ(filters[0].pattern, "*.ini");
  EXPECT_EQ(filters[1].description, "All files (*.*)");
  EXPECT_EQ(filters[1].pattern, "*.*");
  EXPECT_EQ(ui::ParseFilterString("Text|*.txt").size(), 1u) << "the closing bars are optional";
  EXPECT_TRUE(ui::ParseFilterString("").empty());
  EXPECT_TRUE(ui::ParseFilterString("Only a description").empty());
}

TEST(FileDialog, WorkerRequestReachesTheHookWhichPicksOrCancels) {
  ui::FileDialogRequest request;
  request.title = "Open a firmware file for KV770";
  request.filters = {{"Firmware Files (*.bin)", "*.bin"}, {"All Files (*.*)", "*.*"}};
  {
    FileDialogRecorder dialogs(std::string("/tmp/new.bin"));
    std::optional<std::string> picked;
    std::atomic<bool> done{false};
    std::thread worker([&] {
      picked = ui::ShowFileDialog(request);
      done = true;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return done.load(); }, 10000));
    worker.join();
    ASSERT_TRUE(picked.has_value());
    EXPECT_EQ(*picked, "/tmp/new.bin");
    const auto seen = dialogs.Requests();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].title, "Open a firmware file for KV770");
    EXPECT_EQ(seen[0].mode, ui::FileDialogMode::Open);
    ASSERT_EQ(seen[0].filters.size(), 2u);
    EXPECT_EQ(seen[0].filters[1].pattern, "*.*");
    EXPECT_EQ(seen[0].selectedFilter, 0);
  }
  FileDialogRecorder cancel(std::nullopt);
  EXPECT_FALSE(ui::ShowFileDialog(request).has_value());
}

}  // namespace
