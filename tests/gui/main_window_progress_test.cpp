// The progress bar as the update thread drives it with WM_UPDATE_PROGRESS.
#include <atomic>
#include <thread>

#include "main_window_fixture.h"
#include "qt_controls.h"

namespace {

TEST_F(MainWindowTest, ProgressTakesItsRangeFromTheFirstReportAndMovesWithTheRest) {
  CMainDlg& w = OpenWindow();
  // Setting the range pulls the emptied bar's position up to the range's low end.
  EXPECT_EQ(w.OnUpdateProgress(1, 300), 1);
  EXPECT_EQ(ProgressBar(w)->RangeLow(), 1);
  EXPECT_EQ(ProgressBar(w)->RangeHigh(), 300);
  EXPECT_EQ(ProgressBar(w)->GetPos(), 1);
  EXPECT_EQ(w.OnUpdateProgress(2, 999), 1) << "the previous position is the result";
  EXPECT_EQ(w.OnUpdateProgress(3, 999), 2);
  EXPECT_EQ(ProgressBar(w)->RangeHigh(), 300) << "only the first report sets the range";
  EXPECT_EQ(ProgressBar(w)->GetPos(), 3);
  // One report past the top (the one after the end of the file) leaves it full.
  w.OnUpdateProgress(301, 300);
  EXPECT_EQ(ProgressBar(w)->GetPos(), 300);
  EXPECT_EQ(ProgressBar(w)->value(), ProgressBar(w)->maximum());
}

TEST_F(MainWindowTest, EmptiedBarShowsNoBusyAnimation) {
  CMainDlg& w = OpenWindow();
  w.OnUpdateProgress(1, 10);
  ProgressBar(w)->SetRange32(0, 0);
  EXPECT_NE(ProgressBar(w)->maximum(), ProgressBar(w)->minimum()) << "an empty range would animate";
  EXPECT_EQ(ProgressBar(w)->value(), ProgressBar(w)->minimum());
}

TEST_F(MainWindowTest, UpdateThreadReportsThroughTheProgressSenderAndNeverIntoAClosedWindow) {
  CMainDlg& w = OpenWindow();
  const auto send = w.ProgressSender();
  std::vector<LRESULT> results;
  std::atomic<bool> sent{false};
  std::thread worker([&] {
    for (WPARAM chunk = 1; chunk <= 4; ++chunk) results.push_back(send(chunk, 3));
    sent = true;
  });
  // The worker's sends are served while the GUI thread waits here.
  ASSERT_TRUE(WaitFor([&] { return sent.load(); }));
  worker.join();
  EXPECT_EQ(results, (std::vector<LRESULT>{1, 1, 2, 3}));
  EXPECT_EQ(ProgressBar(w)->GetPos(), 3);

  window_.reset();  // the window is gone
  std::atomic<LRESULT> late{-1};
  std::thread lateWorker([&] { late = send(5, 3); });
  ASSERT_TRUE(WaitFor([&] { return late.load() != -1; }));
  lateWorker.join();
  EXPECT_EQ(late, 0);
}

}  // namespace
