// Runs a built program to its end and captures what it printed, for tests
// that drive kvctl as a user or a script would.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "spawn_program.h"

struct ProgramRun {
  int exitCode = -1;  // -1: killed at the bound, or died by a signal
  std::string out;
  std::string err;
};

inline ProgramRun RunProgram(const std::string& program, std::vector<std::string> args,
                             std::chrono::seconds bound = std::chrono::seconds(120)) {
  ProgramRun run;
  int outFd = -1, errFd = -1;
  const pid_t pid = SpawnWithPipes(program, std::move(args), &outFd, &errFd);
  if (pid < 0) return run;
  const auto deadline = std::chrono::steady_clock::now() + bound;
  pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
  int open = 2;
  while (open > 0 && std::chrono::steady_clock::now() < deadline) {
    if (::poll(fds, 2, 100) <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
      char buffer[4096];
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n <= 0) {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      } else {
        (i == 0 ? run.out : run.err).append(buffer, static_cast<std::size_t>(n));
      }
    }
  }
  for (auto& f : fds)
    if (f.fd >= 0) ::close(f.fd);
  if (open > 0) ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (open == 0 && WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
  return run;
}
