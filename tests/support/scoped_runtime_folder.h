// Points the simulated trackers' runtime folder ($XDG_RUNTIME_DIR/kv770-sim)
// at a fresh private folder for one test, so that a test neither sees nor
// disturbs the simulators of the user or of tests running alongside. Child
// processes started during the test inherit it.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <string>

class ScopedRuntimeFolder {
 public:
  ScopedRuntimeFolder() {
    if (const char* old = ::getenv("XDG_RUNTIME_DIR")) previous_ = old;
    char pattern[] = "/tmp/kv770-test-XXXXXX";
    if (::mkdtemp(pattern)) base_ = pattern;
    ::setenv("XDG_RUNTIME_DIR", base_.c_str(), 1);
  }
  ~ScopedRuntimeFolder() {
    if (previous_) ::setenv("XDG_RUNTIME_DIR", previous_->c_str(), 1);
    else ::unsetenv("XDG_RUNTIME_DIR");
    std::error_code ignored;
    if (!base_.empty()) std::filesystem::remove_all(base_, ignored);
  }
  ScopedRuntimeFolder(const ScopedRuntimeFolder&) = delete;
  ScopedRuntimeFolder& operator=(const ScopedRuntimeFolder&) = delete;

  bool Ok() const { return !base_.empty(); }
  const std::string& Base() const { return base_; }

  // Advertisement files (*.port) present in the runtime folder.
  int AdvertFileCount() const {
    int count = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(base_ + "/kv770-sim", ec))
      if (entry.path().extension() == ".port") ++count;
    return count;
  }

 private:
  std::string base_;
  std::optional<std::string> previous_;
};
