// A built program running in the background of a test (kvctl during a write,
// watch, a shell pipeline): its output read while it runs, so that the test
// can act at a chosen step, then its exit status. Every wait has a bound,
// and a program still running when the object goes away is killed.
//
// Thread contract: an object belongs to the test's thread.
#pragma once

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "spawn_program.h"

class BackgroundProgram {
 public:
  static constexpr auto DEFAULT_BOUND = std::chrono::seconds(60);

  // Standard error on a pipe (kept in `err`) or left to the test's own.
  enum class ErrorStream { Piped, Inherited };

  BackgroundProgram(const std::string& program, std::vector<std::string> args,
                    ErrorStream errorStream = ErrorStream::Piped) {
    pid_ = SpawnWithPipes(program, std::move(args), &out_, errorStream == ErrorStream::Piped ? &err_ : nullptr);
  }
  BackgroundProgram(const BackgroundProgram&) = delete;
  BackgroundProgram& operator=(const BackgroundProgram&) = delete;
  ~BackgroundProgram() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    for (const int fd : {out_, err_})
      if (fd >= 0) ::close(fd);
  }

  bool Started() const { return pid_ > 0 || exited_; }
  // The process id while the program has not been waited for; -1 after.
  pid_t Pid() const { return pid_; }
  void Signal(int signal) {
    if (pid_ > 0) ::kill(pid_, signal);
  }

  // The next whole line of standard output (without its LF) after the ones
  // returned before; nothing when the output ended or `bound` ran out first.
  std::optional<std::string> NextLine(std::chrono::milliseconds bound = DEFAULT_BOUND) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    std::size_t nl;
    while ((nl = out.find('\n', lineStart_)) == std::string::npos) {
      if (out_ < 0 || std::chrono::steady_clock::now() >= deadline || !ReadSome(100)) return std::nullopt;
    }
    std::string line = out.substr(lineStart_, nl - lineStart_);
    lineStart_ = nl + 1;
    return line;
  }

  // Standard output after the lines returned so far, taken as if a line.
  std::string TakeRest() {
    std::string rest = out.substr(lineStart_);
    lineStart_ = out.size();
    return rest;
  }

  // Reads lines until one starting with `prefix`; false when the output
  // ended or `bound` ran out first.
  bool WaitForLineStarting(const std::string& prefix, std::chrono::milliseconds bound = DEFAULT_BOUND) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    for (;;) {
      const auto line = NextLine(Left(deadline));
      if (!line) return false;
      if (line->rfind(prefix, 0) == 0) return true;
    }
  }

  // Reads lines until one holding `text` and returns it; empty when the
  // output ended or `bound` ran out first.
  std::string WaitForLineWith(const std::string& text, std::chrono::milliseconds bound = DEFAULT_BOUND) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    for (;;) {
      const auto line = NextLine(Left(deadline));
      if (!line) return {};
      if (line->find(text) != std::string::npos) return *line;
    }
  }

  // Reads until `text` is anywhere in what standard output (or, with
  // `inErr`, standard error) said so far; false when `bound` ran out first.
  bool WaitForText(const std::string& text, bool inErr = false, std::chrono::milliseconds bound = DEFAULT_BOUND) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while ((inErr ? err : out).find(text) == std::string::npos) {
      if (std::chrono::steady_clock::now() >= deadline || !ReadSome(100)) return false;
    }
    return true;
  }

  // Reads the rest of the output and waits for the exit: the exit code, or
  // -1 when `bound` ran out first or the program died by a signal.
  int Wait(std::chrono::milliseconds bound = DEFAULT_BOUND) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (std::chrono::steady_clock::now() < deadline && ReadSome(100)) {
    }
    if (out_ >= 0 || err_ >= 0) return -1;
    while (pid_ > 0) {
      if (::waitpid(pid_, &status_, WNOHANG) == pid_) {
        pid_ = -1;
        exited_ = true;
      } else if (std::chrono::steady_clock::now() >= deadline) {
        return -1;
      } else {
        ::poll(nullptr, 0, 10);
      }
    }
    return exited_ && WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
  }

  // Standard output's lines read so far (the last one without its LF once
  // the output ended).
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < out.size();) {
      const std::size_t nl = std::min(out.find('\n', start), out.size());
      lines.push_back(out.substr(start, nl - start));
      start = nl + 1;
    }
    return lines;
  }

  std::string out;  // all standard output read so far
  std::string err;  // all standard error read so far (when piped)

 private:
  static std::chrono::milliseconds Left(std::chrono::steady_clock::time_point deadline) {
    const auto left = deadline - std::chrono::steady_clock::now();
    return std::max(std::chrono::milliseconds(0), std::chrono::duration_cast<std::chrono::milliseconds>(left));
  }

  // Waits up to `ms` for output and takes what came; false once both
  // streams ended.
  bool ReadSome(int ms) {
    if (out_ < 0 && err_ < 0) return false;
    pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    if (::poll(fds, 2, ms) <= 0) return true;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buffer[4096];
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        (i == 0 ? out : err).append(buffer, static_cast<std::size_t>(n));
      } else {
        ::close(fds[i].fd);
        (i == 0 ? out_ : err_) = -1;
      }
    }
    return true;
  }

  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
  int status_ = 0;
  bool exited_ = false;
  std::size_t lineStart_ = 0;
};
