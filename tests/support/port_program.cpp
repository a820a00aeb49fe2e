#include "port_program.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>

namespace kvtest {

std::string FindProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':'))
    if (!dir.empty() && ::access((dir + "/" + name).c_str(), X_OK) == 0) return dir + "/" + name;
  return "";
}

PortProgram::~PortProgram() { Kill(); }

bool PortProgram::Start(const std::vector<std::string>& argv, const std::string& portPath, int outputFd,
                        const std::string& workDir, const std::string& errorPath) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    // Only calls that are safe after fork from here on.
    ::setsid();
    const int port = ::open(portPath.c_str(), O_RDWR | O_NOCTTY);
    const int err = ::open(errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (port < 0 || err < 0 || ::chdir(workDir.c_str()) != 0) ::_exit(126);
    ::dup2(port, 0);
    ::dup2(outputFd >= 0 ? outputFd : port, 1);
    ::dup2(err, 2);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  pid_ = pid;
  return true;
}

int PortProgram::Wait(std::uint32_t timeoutMs) {
  if (pid_ < 0) return -1;
  const auto giveUpAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      pid_ = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    if (r < 0 || std::chrono::steady_clock::now() >= giveUpAt) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

void PortProgram::Kill() {
  if (pid_ < 0) return;
  ::kill(pid_, SIGKILL);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
}

}  // namespace kvtest
