// Test stand-ins for the dialogs nobody can click in a test: every message
// box and file dialog request is recorded and answered at once.
#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ui/file_dialog.h"
#include "ui/message_box.h"

class MessageBoxRecorder {
 public:
  MessageBoxRecorder() {
    ui::SetMessageBoxHook([this](const ui::MessageBoxRequest& request) {
      std::function<void(const ui::MessageBoxRequest&)> onShow;
      int answer;
      {
        std::lock_guard<std::mutex> lock(lock_);
        shown_.push_back(request);
        onShow = onShow_;
        answer = answer_;
      }
      if (onShow) onShow(request);
      return answer;
    });
  }
  ~MessageBoxRecorder() { ui::SetMessageBoxHook({}); }
  MessageBoxRecorder(const MessageBoxRecorder&) = delete;
  MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

  std::vector<ui::MessageBoxRequest> Shown() const {
    std::lock_guard<std::mutex> lock(lock_);
    return shown_;
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const auto& r : Shown()) texts.push_back(r.text);
    return texts;
  }
  // Runs on the GUI thread while a box is "shown", before it is answered.
  void OnShow(std::function<void(const ui::MessageBoxRequest&)> call) {
    std::lock_guard<std::mutex> lock(lock_);
    onShow_ = std::move(call);
  }
  void Answer(int result) {
    std::lock_guard<std::mutex> lock(lock_);
    answer_ = result;
  }

 private:
  mutable std::mutex lock_;
  std::vector<ui::MessageBoxRequest> shown_;
  std::function<void(const ui::MessageBoxRequest&)> onShow_;
  int answer_ = IDOK;
};

class FileDialogRecorder {
 public:
  // `answer`: the path the "user" picks, or nothing for a cancel.
  explicit FileDialogRecorder(std::optional<std::string> answer) : answer_(std::move(answer)) {
    ui::SetFileDialogHook([this](const ui::FileDialogRequest& request) {
      std::function<void(const ui::FileDialogRequest&)> onShow;
      std::optional<std::string> answer;
      {
        std::lock_guard<std::mutex> lock(lock_);
        requests_.push_back(request);
        onShow = onShow_;
        answer = answer_;
      }
      if (onShow) onShow(request);
      return answer;
    });
  }
  ~FileDialogRecorder() { ui::SetFileDialogHook({}); }
  FileDialogRecorder(const FileDialogRecorder&) = delete;
  FileDialogRecorder& operator=(const FileDialogRecorder&) = delete;

  std::vector<ui::FileDialogRequest> Requests() const {
    std::lock_guard<std::mutex> lock(lock_);
    return requests_;
  }
  // Runs on the GUI thread while the dialog is "shown", before it is answered.
  void OnShow(std::function<void(const ui::FileDialogRequest&)> call) {
    std::lock_guard<std::mutex> lock(lock_);
    onShow_ = std::move(call);
  }

 private:
  mutable std::mutex lock_;
  std::optional<std::string> answer_;
  std::function<void(const ui::FileDialogRequest&)> onShow_;
  std::vector<ui::FileDialogRequest> requests_;
};
