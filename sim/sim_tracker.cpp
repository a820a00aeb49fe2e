#include "sim_tracker.h"

#include "platform/clock.h"
#include "sim_firmware_version.h"

namespace sim {
namespace {

constexpr char kMenuText[] = "\r\n==== KV-770 Main Menu ====\r\n 1: Download firmware\r\n 2: Run\r\n";

}  // namespace

SimTracker::SimTracker(SimOptions options) : options_(std::move(options)), gsm_(options_.gsm), boot_(options_.boot) {}

SimTracker::~SimTracker() { Stop(); }

bool SimTracker::Start() {
  if (running_) return true;
  if (!line_.Open(options_.line)) return false;
  running_ = true;
  thread_ = std::thread([this] { Serve(); });
  return true;
}

void SimTracker::Stop() {
  running_ = false;
  boot_.Stop();  // a boot loader waiting for a sender returns at once
  if (thread_.joinable()) thread_.join();
  line_.Close();
}

void SimTracker::PullCable() { line_.Close(); }

void SimTracker::SwitchOn() {
  if (!off_.exchange(false)) return;
  line_.Send(kMenuText);
}

int SimTracker::CommandCount(const std::string& command) const {
  std::lock_guard<std::mutex> lock(logLock_);
  const auto it = counts_.find(command);
  return it == counts_.end() ? 0 : it->second;
}

std::string SimTracker::ReceivedLog() const {
  std::lock_guard<std::mutex> lock(logLock_);
  return log_;
}

void SimTracker::Record(const std::string& command) {
  std::lock_guard<std::mutex> lock(logLock_);
  ++counts_[command];
}

void SimTracker::Serve() {
  std::string pending;  // an unfinished command line
  int switchOffsSeen = switchOffs_.load();
  while (running_) {
    const int b = line_.ReadByte(20);
    if (b == -2) break;  // cable pulled
    if (const int switchOffs = switchOffs_.load(); switchOffs != switchOffsSeen) {
      // Switched off since the last byte: the module starts afresh.
      switchOffsSeen = switchOffs;
      pending.clear();
      gsm_.PowerLost();
    }
    if (b < 0) continue;
    if (off_) {
      pending.clear();  // a switched-off tracker hears nothing, not even half a command
      continue;
    }
    const char c = static_cast<char>(b);
    {
      std::lock_guard<std::mutex> lock(logLock_);
      log_.push_back(c);
    }
    if (gsm_.InBody()) {
      gsm_.OnBodyByte(static_cast<unsigned char>(b), line_);
      continue;
    }
    // Menu choices are a single digit with no line end.
    if (pending.empty() && (c == '1' || c == '2')) {
      OnMenuChoice(c);
      continue;
    }
    if (c == '\n' && pending.empty()) {
      Record("\n");  // the LF of "kv+bd\r\n"
      continue;
    }
    pending.push_back(c);
    if (c == '\r') {
      OnCommandLine(pending);
      pending.clear();
    } else if (pending.size() > 512) {
      pending.clear();
    }
  }
  running_ = false;
}

void SimTracker::OnMenuChoice(char choice) {
  Record(std::string(1, choice));
  if (choice == '1') {
    if (options_.menu.filePromptMissing) return;
    line_.Send("\r\nWaiting for the file to be sent ... (press 'a' to abort)\r\n");
    const std::size_t before = boot_.Images().size();
    boot_.Run(line_);
    // Only a batch that ended properly, with every file whole, is firmware
    // to start; anything else leaves the tracker in its boot loader.
    const auto images = boot_.Images();
    if (boot_.LastOutcome() != BootOutcome::Received || images.size() <= before) return;
    for (std::size_t i = before; i < images.size(); ++i)
      if (!images[i].complete) return;
    RestartInto(images.back());
  }
}

void SimTracker::RestartInto(const ReceivedImage& image) {
  booting_ = true;
  const RestartOptions& restart = options_.restart;
  // While it boots (or, without a restart, until its power is cycled) the
  // tracker hears nothing: what the tool sends meanwhile is lost.
  const double readyAt = platform::ClockMsPrecise() + restart.bootMs;
  while (running_ && (!restart.restarts || platform::ClockMsPrecise() < readyAt)) {
    const double left = readyAt - platform::ClockMsPrecise();
    const auto slice = restart.restarts ? static_cast<std::uint32_t>(left < 20 ? (left > 0 ? left : 0) : 20) : 20;
    if (line_.ReadByte(slice) == -2) return;
  }
  if (!running_) return;
  if (!restart.versionAfter.empty()) {
    gsm_.SetVersionText(restart.versionAfter);
  } else if (const auto version = FindVersionInImage(image.data)) {
    gsm_.SetVersionText(*version);
  }
  ++restarts_;
  booting_ = false;
  line_.Send(kMenuText);
}

void SimTracker::OnCommandLine(const std::string& line) {
  Record(line);
  const MenuOptions& menu = options_.menu;
  if (line == "ati\r") {
    switch (menu.probeAnswer) {
      case ProbeAnswer::Silent: return;
      case ProbeAnswer::Garbage: line_.Send("\x13\x7f#%&SIEMEN\r\nO K\r\n\xfe\xff"); return;
      case ProbeAnswer::MainMenu:
        if (menu.splitProbeAnswer) {
          // The halves come far enough apart (and from the next answer) to
          // land in different reads of the tool.
          line_.Send("\r\n==== KV-770 Main");
          platform::SleepMs(1000);
          line_.Send(" Menu ====\r\n");
          platform::SleepMs(1000);
        } else {
          line_.Send(kMenuText);
        }
        return;
      case ProbeAnswer::Siemens:
        if (menu.splitProbeAnswer) {
          line_.Send("ati\r\r\nSIEMENS\r\nMC55\r\n");
          platform::SleepMs(1000);
          line_.Send("\r\nOK\r\n");
          platform::SleepMs(1000);
        } else {
          line_.Send("ati\r\r\nSIEMENS\r\nMC55\r\nREVISION 03.02\r\n\r\nOK\r\n");
        }
        return;
    }
  }
  if (line == "at+gsn\r") {
    if (menu.imeiDelayMs) platform::SleepMs(menu.imeiDelayMs);
    if (menu.imeiMissing) {
      line_.Send("at+gsn\r\r\nERROR\r\n");
    } else {
      line_.Send("at+gsn\r\r\n" + menu.imei + "\r\n\r\nOK\r\n");
    }
    return;
  }
  if (line == "kv+bd\r") return;  // acknowledgement of "Get data OK"
  gsm_.OnCommand(line, line_);
}

}  // namespace sim
