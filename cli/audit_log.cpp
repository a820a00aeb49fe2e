#include "audit_log.h"

#include <fcntl.h>
#ifndef _WIN32
#include <sys/file.h>
#endif
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string_view>

#include "common/json_text.h"
#include "user_folders.h"
#include "platform/path_calls.h"

namespace {

std::string JsonOrNull(std::string_view text) { return text.empty() ? "null" : JsonString(text); }

// The tracker's own texts (IMEI, firmware version) are code page 1252.
std::string TrackerJsonOrNull(std::string_view text) { return text.empty() ? "null" : JsonStringFromAnsi(text); }

std::string Iso8601(std::chrono::system_clock::time_point when) {
  const auto sinceEpoch = when.time_since_epoch();
  const std::time_t seconds = std::chrono::duration_cast<std::chrono::seconds>(sinceEpoch).count();
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count() % 1000;
  std::tm utc{};
  ::gmtime_r(&seconds, &utc);
  char text[40];
  const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
  std::snprintf(text + n, sizeof text - n, ".%03dZ", static_cast<int>(millis < 0 ? 0 : millis));
  return text;
}

}  // namespace

std::string DefaultAuditLogPath() {
  const std::string state = UserStateFolder();
  return state.empty() ? std::string() : state + PATH_SEPARATOR + "kv770" + PATH_SEPARATOR + "audit.jsonl";
}

std::string FormatAuditLine(const AuditRecord& r) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.3f", r.seconds);
  std::string line = "{\"time\":" + JsonString(Iso8601(r.time)) + ",\"command\":" + JsonString(r.command) +
                     ",\"port\":" + JsonString(r.port) + ",\"imei\":" + TrackerJsonOrNull(r.imei) +
                     ",\"firmwareVersion\":" + TrackerJsonOrNull(r.firmwareVersion);
  if (!r.image.empty()) {
    line += ",\"image\":" + JsonString(r.image) + ",\"imageSha256\":" + JsonOrNull(r.imageSha256) +
            ",\"imageVersion\":" + TrackerJsonOrNull(r.imageVersion);
  } else {
    line += ",\"settingsFile\":" + JsonOrNull(r.settingsFile) +
            ",\"settingsFileSha256\":" + JsonOrNull(r.settingsFileSha256);
  }
  if (!r.profiles.empty()) {
    line += ",\"profiles\":" + JsonString(r.profiles) + ",\"profilesSha256\":" + JsonOrNull(r.profilesSha256) +
            ",\"profileRow\":" + (r.profileRow ? std::to_string(r.profileRow) : "null");
  }
  if (!r.backup.empty()) line += ",\"backup\":" + JsonString(r.backup);
  line += ",\"verdict\":" + JsonString(r.verdict) + ",\"exitStatus\":" + std::to_string(r.exitStatus) +
          ",\"seconds\":" + seconds + "}\n";
  return line;
}

AuditLog::~AuditLog() {
  if (fd_ >= 0) ::close(fd_);
}

bool AuditLog::Open(const std::string& path, std::string& error) {
  if (path.empty()) {
    error = "no audit log path (no home folder is known; give --log FILE)";
    return false;
  }
  const auto slash = path.find_last_of(PATH_SEPARATORS);
  if (slash != std::string::npos && slash > 0 && !MakeFolders(path.substr(0, slash), error)) return false;
  // Non-blocking open, so that a FIFO without a reader is refused, not waited on.
  // Opened for reading too, to see whether the last line was ended (Append);
  // a log that may only be written is still appended to.
  const int flags = O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  int fd = path_calls::Open(path.c_str(), O_RDWR | flags, 0600);
  if (fd < 0 && errno == EACCES) fd = path_calls::Open(path.c_str(), O_WRONLY | flags, 0600);
  if (fd < 0) {
    error = "cannot open the audit log " + path + " (" + std::strerror(errno) + ")";
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    error = "the audit log " + path + " is not a regular file";
    return false;
  }
  ::fcntl(fd, F_SETFL, O_APPEND);  // blocking writes from here on
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
  path_ = path;
  return true;
}

bool AuditLog::Append(const AuditRecord& record, std::string& error) const {
  if (fd_ < 0) {
    error = "the audit log is not open";
    return false;
  }
  std::string line = FormatAuditLine(record);
  const std::lock_guard<std::mutex> hold(appending_);  // the tracker threads share the descriptor
#ifndef _WIN32
  // Other kvctl processes append under the same lock, so that the last byte
  // read here ends a whole write, not one in progress. A lock held longer
  // than any append takes (not by kvctl) is not waited for.
  bool locked = false;
  for (int attempt = 0; attempt < 200 && !locked; ++attempt) {
    locked = ::flock(fd_, LOCK_EX | LOCK_NB) == 0;
    if (!locked && errno != EWOULDBLOCK && errno != EINTR) break;
    if (!locked) ::usleep(10000);
  }
  // A line cut short earlier (a full disk, a writer killed midway) has no
  // line end: this line then starts on a line of its own, so that it stays
  // one whole JSON object per line.
  struct stat st {};
  char last = '\n';
  if (::fstat(fd_, &st) == 0 && st.st_size > 0 && ::pread(fd_, &last, 1, st.st_size - 1) == 1 && last != '\n')
    line.insert(0, 1, '\n');
#endif
  ssize_t n;
  do {
    n = ::write(fd_, line.data(), line.size());
  } while (n < 0 && errno == EINTR);
#ifndef _WIN32
  const int writeErrno = errno;
  if (locked) ::flock(fd_, LOCK_UN);
  errno = writeErrno;
#endif
  if (n == static_cast<ssize_t>(line.size())) return true;
  error = "the audit log " + path_ + " was not written" +
          (n < 0 ? " (" + std::string(std::strerror(errno)) + ")" : " whole (disk full?)");
  return false;
}
