#include "ui/qt/progress_ctrl.h"

#include <algorithm>

namespace ui {

ProgressCtrl::ProgressCtrl(QWidget* parent) : QProgressBar(parent) {
  setTextVisible(false);
  Show();
}

void ProgressCtrl::SetRange32(int low, int high) {
  low_ = low;
  high_ = high;
  pos_ = high_ > low_ ? std::clamp(pos_, low_, high_) : low_;
  Show();
}

int ProgressCtrl::SetPos(int pos) {
  const int previous = pos_;
  pos_ = high_ > low_ ? std::clamp(pos, low_, high_) : low_;
  Show();
  return previous;
}

void ProgressCtrl::Show() {
  if (high_ > low_) {
    setRange(low_, high_);
    setValue(pos_);
  } else {
    // QProgressBar shows a busy animation for an empty range.
    setRange(0, 1);
    setValue(0);
  }
}

}  // namespace ui
