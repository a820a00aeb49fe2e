// Update from the main window against a simulated tracker and its boot
// loader: the hand-off, the file dialog, the transfer with its progress, the
// result boxes and the controls given back.
#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>

#include "app/close_signals.h"
#include "main_window_fixture.h"
#include "qt_controls.h"
#include "platform/sync.h"
#include "serial/open_serial_port.h"

namespace {

constexpr char kFailedTail[] = " Failed, Please check if USB cable is well connected to device and PC.";

bool PortIsFree(const std::string& path) {
  HANDLE port = OpenSerialPort(path.c_str(), 115200);
  if (port == INVALID_HANDLE_VALUE) return false;
  CloseHandle(port);
  return true;
}

// Records the order in which watched widgets become enabled, with the
// window's m_bUpdating at that moment.
class EnableOrder : public QObject {
 public:
  EnableOrder(CMainDlg& w, const std::vector<QWidget*>& widgets) : window_(w) {
    for (QWidget* widget : widgets) widget->installEventFilter(this);
  }
  std::vector<std::pair<QObject*, int>> enabled;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::EnabledChange && static_cast<QWidget*>(watched)->isEnabled())
      enabled.emplace_back(watched, window_.m_bUpdating.load());
    return false;
  }

 private:
  CMainDlg& window_;
};

class UpdateWorkflowTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    ASSERT_TRUE(dir_.isValid());
  }

  static std::string ImageBytes(int size) {
    std::string bytes(static_cast<std::size_t>(size), '\0');
    for (int i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + 7) & 0xFF);
    return bytes;
  }

  std::string WriteImage(const std::string& name, int size) {
    const std::string bytes = ImageBytes(size);
    std::string path = dir_.path().toStdString() + "/" + name;
    QFile file(QString::fromStdString(path));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes.data(), size);
    return path;
  }

  CMainDlg& WindowOnTracker() {
    CMainDlg& w = OpenWindow();
    EXPECT_TRUE(w.SelectPort(tracker_->PortPath()));
    return w;
  }

  // Presses Update and waits until the update thread has given the window back.
  void UpdateAndWait(CMainDlg& w) {
    Click(UpdateButton(w));
    ASSERT_TRUE(WaitFor([&] { return w.m_bUpdating.load() == 0; }));
  }

  QTemporaryDir dir_;
};

TEST_F(UpdateWorkflowTest, ImageGoesOutAfterThePortIsLetGoAndSuccessIsReported) {
  ClockSpeedScope speed(20.0);
  StartTracker();
  const std::string image = WriteImage("kv770_fw.bin", 5000);
  CMainDlg& w = WindowOnTracker();
  const long handlesBefore = platform::LiveHandleCount();
  EnableOrder order(w, {StartButton(w), UpdateButton(w), ScanButton(w), PortCombo(w)});

  FileDialogRecorder files(image);
  struct AtFileDialog {
    bool portLetGo = false, controlsOff = false, updating = false, closeRefused = false;
  } seen;
  files.OnShow([&](const ui::FileDialogRequest&) {
    seen.portLetGo = w.m_hPort == INVALID_HANDLE_VALUE && PortIsFree(tracker_->PortPath());
    seen.controlsOff = !StartButton(w)->isEnabled() && !UpdateButton(w)->isEnabled() && !ScanButton(w)->isEnabled() &&
                       !PortCombo(w)->isEnabled();
    seen.updating = w.m_bUpdating.load() == 1;
    ui::qt::Window(w)->close();  // the close box
    seen.closeRefused = !w.Ended() && ui::qt::Window(w)->isVisible();
  });

  Click(UpdateButton(w));
  EXPECT_EQ(tracker_->CommandCount("1"), 1);
  EXPECT_EQ(tracker_->CommandCount("2"), 0);
  ASSERT_TRUE(WaitFor([&] { return w.m_bUpdating.load() == 0; }));

  EXPECT_TRUE(seen.portLetGo) << "the port must be closed before the transfer";
  EXPECT_TRUE(seen.controlsOff);
  EXPECT_TRUE(seen.updating);
  EXPECT_TRUE(seen.closeRefused) << "the close box is refused during an update";

  const auto requests = files.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].mode, ui::FileDialogMode::Open);
  EXPECT_EQ(requests[0].title, "Open a firmware file for KV770");
  ASSERT_EQ(requests[0].filters.size(), 2u);
  EXPECT_EQ(requests[0].filters[0].description, "Firmware Files (*.bin)");
  EXPECT_EQ(requests[0].filters[0].pattern, "*.bin");
  EXPECT_EQ(requests[0].filters[1].description, "All Files (*.*)");
  EXPECT_EQ(requests[0].filters[1].pattern, "*.*");
  EXPECT_EQ(requests[0].selectedFilter, 0);
  EXPECT_EQ(requests[0].flags, 0u);
  EXPECT_EQ(requests[0].owner.Get(), &w);
  EXPECT_EQ(std::string(w.m_szFirmwarePath), image);

  const auto images = tracker_->Images();
  ASSERT_EQ(images.size(), 1u);
  EXPECT_TRUE(images[0].complete);
  EXPECT_EQ(std::string(images[0].data.begin(), images[0].data.end()), ImageBytes(5000));
  // The full path, lowered, without its leading slash.
  EXPECT_EQ(images[0].name, dir_.path().toLower().toStdString().substr(1) + "/kv770_fw.bin");
  const auto boxes = boxes_.Shown();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Update kv770_fw.bin Succeed");
  EXPECT_EQ(boxes[0].caption, "OK");
  EXPECT_EQ(boxes[0].type, MB_OK);

  // The bar ran 1..4 (5000 bytes) and ends full.
  EXPECT_EQ(ProgressBar(w)->RangeHigh(), 4);
  EXPECT_EQ(ProgressBar(w)->GetPos(), 4);
  EXPECT_EQ(ProgressBar(w)->value(), ProgressBar(w)->maximum());

  ExpectIdle();
  // The controls come back in this order, before the window may close again.
  const std::vector<std::pair<QObject*, int>> expectedOrder = {
      {UpdateButton(w), 1}, {StartButton(w), 1}, {ScanButton(w), 1}, {PortCombo(w), 1}};
  EXPECT_EQ(order.enabled, expectedOrder);
  EXPECT_TRUE(WaitFor([&] { return platform::LiveHandleCount() == handlesBefore; }))
      << "port, event and thread handles are all closed";
}

// Terminate while the firmware file is chosen: the image still goes out whole,
// the result is said, and only then does the window go.
TEST_F(UpdateWorkflowTest, TerminateDuringAnUpdateClosesTheWindowAfterTheResultIsSaid) {
  ClockSpeedScope speed(20.0);
  StartTracker();
  const std::string image = WriteImage("kv770_fw.bin", 5000);
  CMainDlg& w = WindowOnTracker();
  const CloseOnSignals closing(w);
  FileDialogRecorder files(image);
  files.OnShow([&](const ui::FileDialogRequest&) { std::raise(SIGTERM); });
  bool endedBeforeTheResult = true;
  boxes_.OnShow([&](const ui::MessageBoxRequest&) { endedBeforeTheResult = w.Ended(); });
  testing::internal::CaptureStderr();
  Click(UpdateButton(w));
  EXPECT_TRUE(WaitFor([&] { return w.Ended(); })) << "the window stayed after the update";
  testing::internal::GetCapturedStderr();

  const auto images = tracker_->Images();
  ASSERT_EQ(images.size(), 1u);
  EXPECT_TRUE(images[0].complete);
  EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{"Update kv770_fw.bin Succeed"});
  EXPECT_FALSE(endedBeforeTheResult);
  EXPECT_EQ(w.m_bUpdating.load(), 0);
}

TEST_F(UpdateWorkflowTest, ImagesUnderTwoKibEndWithAFullBar) {
  ClockSpeedScope speed(20.0);
  StartTracker();
  CMainDlg& w = WindowOnTracker();
  for (const int size : {0, 500, 1500}) {
    SCOPED_TRACE(size);
    FileDialogRecorder files(WriteImage("small.bin", size));
    UpdateAndWait(w);
    ASSERT_EQ(boxes_.Shown().back().text, "Update small.bin Succeed");
    EXPECT_EQ(tracker_->Images().back().data.size(), static_cast<std::size_t>(size));
    EXPECT_GT(ProgressBar(w)->maximum(), ProgressBar(w)->minimum());
    EXPECT_EQ(ProgressBar(w)->value(), ProgressBar(w)->maximum()) << "the bar must end full";
  }
}

TEST_F(UpdateWorkflowTest, WithoutTheFilePromptResetTheDeviceIsShownAndEveryControlComesBack) {
  ClockSpeedScope speed(20.0);
  sim::SimOptions options;
  options.menu.filePromptMissing = true;
  StartTracker(options);
  CMainDlg& w = WindowOnTracker();
  FileDialogRecorder files(std::string("/nonexistent.bin"));

  // The hand-off keeps the window painting with a busy cursor while it waits.
  bool busyDuringWait = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    const QCursor* cursor = QApplication::overrideCursor();
    if (tracker_->CommandCount("1") == 1 && w.IsBusy() && cursor != nullptr && cursor->shape() == Qt::WaitCursor)
      busyDuringWait = true;
  });
  poll.start(1);
  Click(UpdateButton(w));
  poll.stop();

  EXPECT_TRUE(busyDuringWait);
  const auto boxes = boxes_.Shown();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Reset the Device and try again");
  EXPECT_EQ(boxes[0].caption, "Error");
  EXPECT_EQ(boxes[0].type, MB_ICONERROR);
  EXPECT_EQ(w.m_bUpdating.load(), 0);
  EXPECT_TRUE(files.Requests().empty()) << "no update thread without the prompt";
  ExpectIdle();
  EXPECT_EQ(w.m_hFileWaitEvent, nullptr);
  EXPECT_TRUE(PortIsFree(tracker_->PortPath()));
}

TEST_F(UpdateWorkflowTest, CancelledFileDialogShowsNothingAndGivesTheControlsBack) {
  ClockSpeedScope speed(20.0);
  StartTracker();
  CMainDlg& w = WindowOnTracker();
  FileDialogRecorder files(std::nullopt);
  UpdateAndWait(w);
  EXPECT_EQ(files.Requests().size(), 1u);
  EXPECT_TRUE(boxes_.Shown().empty());
  EXPECT_TRUE(tracker_->Images().empty());
  ExpectIdle();
}

TEST_F(UpdateWorkflowTest, FailureMessageCarriesTheWholeBaseNameHoweverLong) {
  ClockSpeedScope speed(20.0);
  StartTracker();
  CMainDlg& w = WindowOnTracker();
  // A typed name that names no file, longer than the 256-character message
  // buffer leaves room for.
  const std::string base = std::string(200, 'n') + ".bin";
  FileDialogRecorder files(dir_.path().toStdString() + "/" + base);
  UpdateAndWait(w);
  const auto boxes = boxes_.Shown();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Update " + base + kFailedTail);
  EXPECT_EQ(boxes[0].caption, "Error");
  EXPECT_EQ(boxes[0].type, MB_ICONERROR);
  EXPECT_TRUE(tracker_->Images().empty());
  ExpectIdle();
}

// Another program that takes the port while the file dialog is open makes
// the transfer fail at its start; the box says why and how to get out of the
// boot loader the tracker waits in.
TEST_F(UpdateWorkflowTest, APortTakenDuringTheFileDialogIsNamedInTheFailure) {
  ClockSpeedScope speed(20.0);
  StartTracker();
  CMainDlg& w = WindowOnTracker();
  FileDialogRecorder files(WriteImage("kv770_fw.bin", 5000));
  HANDLE other = INVALID_HANDLE_VALUE;
  files.OnShow([&](const ui::FileDialogRequest&) { other = OpenSerialPort(tracker_->PortPath().c_str(), 115200); });
  UpdateAndWait(w);
  ASSERT_NE(other, INVALID_HANDLE_VALUE) << "the other program got the port";
  CloseHandle(other);

  const auto boxes = boxes_.Shown();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, std::string("Update kv770_fw.bin") + kFailedTail + "\nThe port " + tracker_->PortPath() +
                               " could not be opened again: another program may be using it. Close that program, "
                               "reset the tracker and press Update again.");
  EXPECT_EQ(boxes[0].caption, "Error");
  EXPECT_TRUE(tracker_->Images().empty());
  ExpectIdle();
}

TEST_F(UpdateWorkflowTest, PathLongerThanThePathFieldIsRefusedRatherThanCut) {
  ClockSpeedScope speed(20.0);
  StartTracker();
  CMainDlg& w = WindowOnTracker();
  const std::string base = std::string(250, 'p') + ".bin";
  const std::string image = WriteImage(base, 3000);
  ASSERT_GE(image.size(), FIRMWARE_PATH_SIZE);
  FileDialogRecorder files(image);
  UpdateAndWait(w);
  EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{"Update " + base + kFailedTail});
  EXPECT_TRUE(tracker_->Images().empty());
  ExpectIdle();
}

TEST_F(UpdateWorkflowTest, ImageOfTwoGibIsRefusedBeforeAnythingIsSent) {
  ClockSpeedScope speed(20.0);
  StartTracker();
  CMainDlg& w = WindowOnTracker();
  const std::string image = dir_.path().toStdString() + "/huge.bin";
  QFile huge(QString::fromStdString(image));
  ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
  if (!huge.resize(qint64{1} << 31)) GTEST_SKIP() << "no room for a sparse 2 GiB file";
  huge.close();

  FileDialogRecorder files(image);
  std::uint64_t receivedAtDialog = 0, receivedAtBox = 0;
  files.OnShow([&](const ui::FileDialogRequest&) { receivedAtDialog = tracker_->Line().BytesReceived(); });
  boxes_.OnShow([&](const ui::MessageBoxRequest&) { receivedAtBox = tracker_->Line().BytesReceived(); });
  UpdateAndWait(w);

  ASSERT_EQ(boxes_.Texts(), std::vector<std::string>{std::string("Update huge.bin") + kFailedTail});
  EXPECT_EQ(receivedAtBox, receivedAtDialog) << "not a byte may go out";
  EXPECT_EQ(ProgressBar(w)->RangeHigh(), 0) << "no progress was reported";
  ExpectIdle();
}

}  // namespace
