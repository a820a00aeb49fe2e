// kvsim: one simulated KV-770 tracker on a pseudo-terminal. Prints the
// pseudo-terminal's path on the first line of standard output, advertises the
// port so the tool lists it, and serves until SIGINT, SIGTERM or SIGHUP.
// SIGUSR1 prints the message store and the received firmware images; the same
// report is printed on the way out. SIGUSR2 switches the tracker off and on.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/clock.h"
#include "platform/sim_registry.h"
#include "sim_cli_options.h"
#include "sim_tracker.h"

namespace {

// How often the main thread looks whether the line is still there.
constexpr std::uint32_t LINE_CHECK_MS = 200;

void PrintHelp() {
  std::printf(
      "Usage: kvsim [options]\n"
      "Serves one simulated KV-770 tracker on a pseudo-terminal and prints its path\n"
      "on the first line. The port is listed by the tool like a connected tracker.\n"
      "SIGUSR1 prints the message store and the received firmware images;\n"
      "SIGUSR2 switches the tracker off (the port stays, nothing answers) and on again;\n"
      "SIGINT, SIGTERM or SIGHUP end the program (after the same report).\n"
      "\n"
      "Options:\n"
      "%s",
      sim::SimOptionsUsage().c_str());
}

// A message text with its control characters made visible.
std::string Escaped(const std::string& text) {
  std::string out;
  for (const unsigned char c : text) {
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else if (c == '\\') out += "\\\\";
    else if (c < 0x20 || c >= 0x7f) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

void PrintReport(const sim::SimTracker& tracker) {
  const auto store = tracker.MessageStore();
  std::printf("Message store:\n");
  for (std::size_t i = 0; i < store.size(); ++i) {
    if (store[i].empty()) std::printf("  %zu: (empty)\n", i + 1);
    else std::printf("  %zu: \"%s\"\n", i + 1, Escaped(store[i]).c_str());
  }
  const auto images = tracker.Images();
  std::printf("Received images:%s\n", images.empty() ? " (none)" : "");
  for (const auto& image : images)
    std::printf("  \"%s\": %zu bytes, %s\n", Escaped(image.name).c_str(), image.data.size(),
                image.complete ? "complete" : "incomplete");
  std::fflush(stdout);
}

// Makes `linkPath` point to the pseudo-terminal. An old symlink there (from
// an earlier run) is replaced; anything else is left alone.
bool MakeLink(const std::string& target, const std::string& linkPath, std::string& error) {
  struct stat st {};
  if (::lstat(linkPath.c_str(), &st) == 0) {
    if (!S_ISLNK(st.st_mode)) {
      error = linkPath + " exists and is not a symlink";
      return false;
    }
    ::unlink(linkPath.c_str());
  }
  if (::symlink(target.c_str(), linkPath.c_str()) != 0) {
    error = "cannot make " + linkPath + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

// Removes the link only while it still points to our pseudo-terminal.
void RemoveLink(const std::string& target, const std::string& linkPath) {
  char buffer[4096];
  const ssize_t n = ::readlink(linkPath.c_str(), buffer, sizeof buffer - 1);
  if (n > 0 && std::string(buffer, static_cast<std::size_t>(n)) == target) ::unlink(linkPath.c_str());
}

timespec WaitSlice(std::uint32_t ms) {
  const auto ns = platform::RealDuration(ms).count();
  return timespec{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
}

}  // namespace

int main(int argc, char** argv) {
  sim::SimOptions options;
  sim::ProgramOptions program;
  std::string error;
  if (!sim::ParseSimOptions(argc, argv, options, error, &program)) {
    std::fprintf(stderr, "kvsim: %s\nTry 'kvsim --help'.\n", error.c_str());
    return 2;
  }
  if (program.showHelp) {
    PrintHelp();
    return 0;
  }
  // Before anything is timed: the tracker's thread and its line pacing read
  // this clock.
  platform::SetClockSpeed(program.clockSpeed);

  // The main thread takes the signals with sigtimedwait; they are blocked
  // before the tracker's thread starts so that it inherits the mask.
  sigset_t signals;
  sigemptyset(&signals);
  for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGUSR2}) sigaddset(&signals, s);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  ::signal(SIGPIPE, SIG_IGN);  // a closed stdout must not end the simulator

  options.boot.console = stdout;  // each received image: name, size, SHA-256
  sim::SimTracker tracker(options);
  if (!tracker.Start()) {
    std::fprintf(stderr, "kvsim: no pseudo-terminal available\n");
    return 1;
  }
  const std::string pty = tracker.PortPath();
  if (!program.linkPath.empty() && !MakeLink(pty, program.linkPath, error)) {
    std::fprintf(stderr, "kvsim: %s\n", error.c_str());
    tracker.Stop();
    return 1;
  }
  platform::SimulatedPortToken advert = platform::AdvertiseSimulatedPort(pty);
  if (!advert && !program.quiet)
    std::fprintf(stderr, "kvsim: cannot advertise the port in %s; the tool will not list it\n",
                 platform::RuntimeFolder().c_str());

  // The path comes once the port is listed, so a reader can use it at once.
  std::printf("%s\n", pty.c_str());
  std::fflush(stdout);
  if (!program.quiet) {
    std::fprintf(stderr, "kvsim: serving %s%s%s; SIGUSR1 prints the message store, Ctrl-C ends\n", pty.c_str(),
                 program.linkPath.empty() ? "" : " via ", program.linkPath.c_str());
  }

  int restartsSeen = 0;
  for (;;) {
    // A port that leaves the list while the tracker boots: withdrawn when the
    // boot is seen, advertised again once the menu is back (a boot shorter
    // than one look still withdraws it once).
    if (options.restart.portLeavesDuringBoot) {
      const bool rebooted = tracker.Restarts() != restartsSeen;
      if (advert && (tracker.Booting() || rebooted)) platform::WithdrawSimulatedPort(advert);
      if (!advert && !tracker.Booting()) advert = platform::AdvertiseSimulatedPort(pty);
      restartsSeen = tracker.Restarts();
    }
    const timespec slice = WaitSlice(LINE_CHECK_MS);
    const int sig = ::sigtimedwait(&signals, nullptr, &slice);
    if (sig == SIGUSR1) {
      PrintReport(tracker);
      continue;
    }
    if (sig == SIGUSR2) {
      // The power switch: off with the USB bridge still plugged in, or on again.
      if (tracker.SwitchedOff()) tracker.SwitchOn();
      else tracker.SwitchOff();
      if (!program.quiet) std::fprintf(stderr, "kvsim: switched %s\n", tracker.SwitchedOff() ? "off" : "on");
      continue;
    }
    if (sig > 0) break;
    if (!tracker.Line().IsOpen()) {
      // The line was pulled (a fault option): the tracker is gone.
      if (!program.quiet) std::fprintf(stderr, "kvsim: the line was closed\n");
      break;
    }
  }

  platform::WithdrawSimulatedPort(advert);
  if (!program.linkPath.empty()) RemoveLink(pty, program.linkPath);
  tracker.Stop();
  PrintReport(tracker);
  return 0;
}
