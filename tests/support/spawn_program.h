// Starting a built program for a test with its standard output (and, when
// asked, its standard error) on pipes and its standard input on /dev/null.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

// Starts `program` (a path) with `args`. `*out` (and `*err` when not null)
// receive the read ends of the pipes; -1 when the program could not start,
// with no descriptor left open.
inline pid_t SpawnWithPipes(const std::string& program, std::vector<std::string> args, int* out, int* err) {
  *out = -1;
  if (err) *err = -1;
  int outPipe[2], errPipe[2] = {-1, -1};
  if (::pipe2(outPipe, O_CLOEXEC) != 0) return -1;
  if (err && ::pipe2(errPipe, O_CLOEXEC) != 0) {
    ::close(outPipe[0]);
    ::close(outPipe[1]);
    return -1;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
  if (err) posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  args.insert(args.begin(), program);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int rc = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(outPipe[1]);
  if (err) ::close(errPipe[1]);
  if (rc != 0) {
    ::close(outPipe[0]);
    if (err) ::close(errPipe[0]);
    return -1;
  }
  *out = outPipe[0];
  if (err) *err = errPipe[0];
  return pid;
}
