// A kvsim (or other built program) run as a child process for process tests:
// its standard output on a pipe, no input, killed when the object goes away
// so no simulator outlives its test.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "spawn_program.h"

extern char** environ;

class KvsimChild {
 public:
  // Only there to catch a hang; the programs answer within milliseconds.
  static constexpr auto HANG_BOUND = std::chrono::seconds(5);

  KvsimChild() = default;
  KvsimChild(const KvsimChild&) = delete;
  KvsimChild& operator=(const KvsimChild&) = delete;
  ~KvsimChild() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) ::close(out_);
  }

  // Starts `program` (a path) with `args`; false when it could not start.
  bool Start(const std::string& program, std::vector<std::string> args) {
    if (pid_ > 0) return false;
    pid_ = SpawnWithPipes(program, std::move(args), &out_, nullptr);
    return pid_ > 0;
  }

  pid_t Pid() const { return pid_; }

  // The next output line without its LF; what came so far when the output
  // ends or the bound runs out. A longer bound serves programs whose next
  // line follows a whole job (a settings write).
  std::string ReadLine(std::chrono::milliseconds bound = HANG_BOUND) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    std::string::size_type nl;
    while ((nl = output_.find('\n')) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      pollfd p{out_, POLLIN, 0};
      char buffer[512];
      ssize_t n = 0;
      if (::poll(&p, 1, 100) > 0 && (n = ::read(out_, buffer, sizeof buffer)) <= 0) break;
      output_.append(buffer, static_cast<std::size_t>(n));
    }
    std::string line = output_.substr(0, nl);
    output_.erase(0, nl == std::string::npos ? nl : nl + 1);
    return line;
  }

  // The four message slots as kvsim prints them on SIGUSR1 (the lines
  // indented by two blanks before "Received images").
  std::vector<std::string> Store() {
    ::kill(pid_, SIGUSR1);
    std::vector<std::string> slots;
    for (std::string line = ReadLine(); !line.empty(); line = ReadLine()) {
      if (line.rfind("Received images", 0) == 0) break;
      if (line.rfind("  ", 0) == 0) slots.push_back(line);
    }
    return slots;
  }

  // Sends `signal` (0: none) and waits for the exit: the exit code, or -1
  // for a hang or a death by signal.
  int StopWith(int signal) {
    if (pid_ <= 0) return -1;
    if (signal) ::kill(pid_, signal);
    const auto deadline = std::chrono::steady_clock::now() + HANG_BOUND;
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) != pid_) {
      if (std::chrono::steady_clock::now() > deadline) return -1;
      ::poll(nullptr, 0, 10);
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string output_;
};
