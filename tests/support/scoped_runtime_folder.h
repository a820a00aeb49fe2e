// Points the simulated trackers' runtime folder ($XDG_RUNTIME_DIR/kv770-sim)
// at a fresh private folder for one test, so that a test neither sees nor
// disturbs the simulators of the user or of tests running alongside. The
// user's data and state folders (kvctl's backups and audit log) go there too,
// so no test writes into the home folder. Child processes started during the
// test inherit them.
#pragma once

#include <stdlib.h>

#include <array>
#include <filesystem>
#include <optional>
#include <string>

class ScopedRuntimeFolder {
 public:
  ScopedRuntimeFolder() {
    for (std::size_t i = 0; i < VARIABLES.size(); ++i)
      if (const char* old = ::getenv(VARIABLES[i])) previous_[i] = old;
    char pattern[] = "/tmp/kv770-test-XXXXXX";
    if (::mkdtemp(pattern)) base_ = pattern;
    ::setenv("XDG_RUNTIME_DIR", base_.c_str(), 1);
    ::setenv("XDG_DATA_HOME", (base_ + "/data").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (base_ + "/state").c_str(), 1);
  }
  ~ScopedRuntimeFolder() {
    for (std::size_t i = 0; i < VARIABLES.size(); ++i) {
      if (previous_[i]) ::setenv(VARIABLES[i], previous_[i]->c_str(), 1);
      else ::unsetenv(VARIABLES[i]);
    }
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
  static constexpr std::array<const char*, 3> VARIABLES = {"XDG_RUNTIME_DIR", "XDG_DATA_HOME", "XDG_STATE_HOME"};
  std::string base_;
  std::array<std::optional<std::string>, 3> previous_;
};
