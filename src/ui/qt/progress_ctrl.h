// A progress bar with the Windows control's model: a 32-bit range and a
// position kept inside it. An empty range (low >= high) shows an empty bar,
// never a busy animation; SetPos returns the previous position.
//
// Thread contract: GUI thread only.
#pragma once

#include <QProgressBar>

namespace ui {

class ProgressCtrl : public QProgressBar {
  Q_OBJECT
 public:
  explicit ProgressCtrl(QWidget* parent = nullptr);

  // PBM_SETRANGE32; the position is pulled into the new range.
  void SetRange32(int low, int high);
  // PBM_SETPOS; returns the previous position.
  int SetPos(int pos);
  int GetPos() const { return pos_; }
  int RangeLow() const { return low_; }
  int RangeHigh() const { return high_; }

 private:
  void Show();

  int low_ = 0, high_ = 100, pos_ = 0;
};

}  // namespace ui
