#include "platform/sim_registry.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <string_view>
#include <tuple>

#include "platform/port_enum.h"

namespace platform {
namespace {

constexpr std::string_view ADVERT_SUFFIX = ".port";
constexpr std::size_t MAX_ADVERT_BYTES = 4096;

bool IsUsableDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && ::access(path.c_str(), W_OK) == 0;
}

// Ours, a real folder, and nobody else may write into it.
bool IsPrivateFolder(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return false;
  return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 022) == 0;
}

template <typename Int>
bool ParseNumber(std::string_view text, Int& value) {
  if (text.empty()) return false;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
  return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

// Reads a small text file without following a symlink; false when it is not
// a regular file or larger than an advertisement can be. Reads to the end
// rather than trusting the size, which /proc files report as 0.
bool ReadSmallFile(const std::string& path, std::string& text) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  text.assign(MAX_ADVERT_BYTES + 1, '\0');
  std::size_t got = 0;
  while (got < text.size()) {
    const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  text.resize(got);
  return got <= MAX_ADVERT_BYTES;
}

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

struct ProcessState {
  char state = '?';
  unsigned long long startTicks = 0;
};

// State and start time of a process from /proc/<pid>/stat.
bool ReadProcessState(long pid, ProcessState& out) {
  std::string text;
  if (!ReadSmallFile("/proc/" + std::to_string(pid) + "/stat", text)) return false;
  // "pid (comm) S ppid ..." — comm may hold spaces and parentheses.
  const auto close = text.rfind(')');
  if (close == std::string::npos || close + 2 >= text.size()) return false;
  std::string_view rest(text);
  rest.remove_prefix(close + 2);
  out.state = rest.front();
  // Start time is the 22nd field; the state is the 3rd.
  for (int field = 3; field < 22; ++field) {
    const auto space = rest.find(' ');
    if (space == std::string_view::npos) return false;
    rest.remove_prefix(space + 1);
  }
  return ParseNumber(rest.substr(0, rest.find(' ')), out.startTicks);
}

// True while the process that wrote an advertisement still runs: same pid,
// not a zombie, and (when recorded) the same start time, so a reused pid does
// not keep a dead simulator listed.
bool AdvertiserAlive(long pid, unsigned long long startTicks) {
  if (pid <= 0) return false;
  ProcessState ps;
  if (ReadProcessState(pid, ps)) {
    if (ps.state == 'Z' || ps.state == 'X' || ps.state == 'x') return false;
    return startTicks == 0 || ps.startTicks == startTicks;
  }
  if (::kill(static_cast<pid_t>(pid), 0) == 0) return true;
  return errno == EPERM;
}

bool IsCharacterDevice(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

struct Advert {
  SimulatedPort port;
  unsigned long long startTicks = 0;
  timespec written{};
  std::string fileName;
};

bool ParseAdvert(const std::string& text, Advert& advert) {
  std::string_view rest(text);
  while (!rest.empty()) {
    const auto end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string_view key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "port") advert.port.portPath = value;
    else if (key == "name") advert.port.friendlyName = value;
    else if (key == "pid" && !ParseNumber(value, advert.port.pid)) return false;
    else if (key == "started" && !ParseNumber(value, advert.startTicks)) return false;
  }
  if (advert.port.portPath.empty() || advert.port.portPath[0] != '/' || advert.port.pid <= 0) return false;
  // The listed name must lead back to the advertised port, or the tool would
  // open another port than the one it shows.
  const std::string& name = advert.port.friendlyName;
  if (name.find(TRACKER_NAME_MARK) == std::string::npos || PortNameFromFriendlyName(name) != advert.port.portPath)
    advert.port.friendlyName = TrackerFriendlyName(advert.port.portPath);
  return true;
}

bool EndsWith(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

}  // namespace

std::string RuntimeFolder() {
  if (const char* xdg = std::getenv("XDG_RUNTIME_DIR"); xdg && xdg[0] == '/' && IsUsableDirectory(xdg))
    return std::string(xdg) + "/kv770-sim";
  return "/tmp/kv770-sim-" + std::to_string(::geteuid());
}

bool EnsureRuntimeFolder() {
  const std::string folder = RuntimeFolder();
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
  return IsPrivateFolder(folder);
}

SimulatedPortToken AdvertiseSimulatedPort(const std::string& ptyPath) {
  static std::atomic<unsigned> s_sequence{0};
  if (ptyPath.empty() || ptyPath[0] != '/' || ptyPath.find('\n') != std::string::npos) return {};
  if (!EnsureRuntimeFolder()) return {};
  const long pid = ::getpid();
  ProcessState self;
  ReadProcessState(pid, self);
  const std::string stem = std::to_string(pid) + "-" + std::to_string(s_sequence++);
  const std::string folder = RuntimeFolder();
  const std::string tempPath = folder + "/." + stem + ".tmp";
  const std::string finalPath = folder + "/" + stem + std::string(ADVERT_SUFFIX);
  const std::string text = "port=" + ptyPath + "\nname=" + TrackerFriendlyName(ptyPath) +
                           "\npid=" + std::to_string(pid) + "\nstarted=" + std::to_string(self.startTicks) + "\n";
  const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return {};
  const bool written = WriteAll(fd, text);
  ::close(fd);
  // Renaming makes the advertisement appear whole to readers and watchers.
  if (!written || ::rename(tempPath.c_str(), finalPath.c_str()) != 0) {
    ::unlink(tempPath.c_str());
    return {};
  }
  return SimulatedPortToken{finalPath};
}

bool WithdrawSimulatedPort(SimulatedPortToken& token) {
  if (!token) return false;
  const bool removed = ::unlink(token.filePath.c_str()) == 0;
  token.filePath.clear();
  return removed;
}

std::vector<SimulatedPort> ListSimulatedPorts() {
  const std::string folder = RuntimeFolder();
  if (!IsPrivateFolder(folder)) return {};
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return {};
  std::vector<Advert> adverts;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view fileName = entry->d_name;
    if (fileName.empty() || fileName[0] == '.' || !EndsWith(fileName, ADVERT_SUFFIX)) continue;
    const std::string path = folder + "/" + std::string(fileName);
    std::string text;
    Advert advert;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !ReadSmallFile(path, text) || !ParseAdvert(text, advert)) continue;
    if (!AdvertiserAlive(advert.port.pid, advert.startTicks)) {
      ::unlink(path.c_str());  // left behind by a simulator that was killed
      continue;
    }
    if (!IsCharacterDevice(advert.port.portPath)) continue;
    advert.written = st.st_mtim;
    advert.fileName = fileName;
    adverts.push_back(std::move(advert));
  }
  ::closedir(dir);
  std::sort(adverts.begin(), adverts.end(), [](const Advert& a, const Advert& b) {
    // File times are coarse: equal times fall back to the names, which
    // count up within a process ("<pid>-<n>"), shorter (smaller) first.
    const auto aLen = a.fileName.size(), bLen = b.fileName.size();
    return std::tie(a.written.tv_sec, a.written.tv_nsec, aLen, a.fileName) <
           std::tie(b.written.tv_sec, b.written.tv_nsec, bLen, b.fileName);
  });
  std::vector<SimulatedPort> ports;
  ports.reserve(adverts.size());
  for (auto& a : adverts) ports.push_back(std::move(a.port));
  return ports;
}

}  // namespace platform
