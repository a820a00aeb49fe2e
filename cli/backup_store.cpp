#include "backup_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <tuple>

#include "input_file.h"
#include "platform/file_replace.h"
#include "user_folders.h"
#include "platform/path_calls.h"

namespace {

// Settings files are a few hundred bytes; a backup cannot be larger than this.
constexpr std::size_t MAX_BACKUP_BYTES = 64 * 1024;
constexpr int MAX_SAME_SECOND = 999;

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool IsDigits(std::string_view text, std::size_t count) {
  return text.size() == count && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The time stamp and number of a backup file's name, when it is a backup of
// `imei`: "<imei>-YYYYMMDD-HHMMSS.ini" (number 1) or "...-HHMMSS-N.ini".
// An empty `imei` takes the digits before the first "-" and returns them in it.
bool ParseBackupName(std::string_view name, std::string& imei, std::string& stamp, int& number) {
  if (imei.empty()) {
    const std::size_t dash = name.find('-');
    if (dash == std::string_view::npos || !IsBackupImei(name.substr(0, dash))) return false;
    std::string found(name.substr(0, dash));
    if (!ParseBackupName(name, found, stamp, number)) return false;
    imei = found;
    return true;
  }
  if (name.size() < imei.size() + 1 || name.substr(0, imei.size()) != imei || name[imei.size()] != '-') return false;
  name.remove_prefix(imei.size() + 1);
  if (name.size() < 4 || name.substr(name.size() - 4) != ".ini") return false;
  name.remove_suffix(4);
  if (name.size() < 15 || !IsDigits(name.substr(0, 8), 8) || name[8] != '-' || !IsDigits(name.substr(9, 6), 6))
    return false;
  stamp = std::string(name.substr(0, 15));
  name.remove_prefix(15);
  number = 1;
  if (name.empty()) return true;
  if (name[0] != '-' || name.size() < 2) return false;
  const auto r = std::from_chars(name.data() + 1, name.data() + name.size(), number);
  return r.ec == std::errc() && r.ptr == name.data() + name.size() && number >= 2;
}

void SyncFolder(const std::string& folder) {
  const int fd = path_calls::Open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

std::string DefaultBackupFolder() {
  const std::string data = UserDataFolder();
  return data.empty() ? std::string() : data + "/kv770/backups";
}

bool IsBackupImei(std::string_view imei) { return !imei.empty() && IsDigits(imei, imei.size()); }

std::string BackupTimeStamp(std::time_t when) {
  std::tm utc{};
  ::gmtime_r(&when, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &utc);
  return text;
}

bool SaveBackup(const std::string& folder, const std::string& imei, std::string_view bytes, std::time_t when,
                std::string& path, std::string& error) {
  static std::atomic<unsigned> s_sequence{0};
  if (!IsBackupImei(imei)) {
    error = "the tracker's IMEI is unknown, so the backup cannot be named";
    return false;
  }
  if (!MakeFolders(folder, error)) return false;
  const std::string temp =
      folder + "/." + imei + "-" + std::to_string(::getpid()) + "-" + std::to_string(s_sequence++) + ".tmp";
  const int fd = path_calls::Open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    error = "cannot create a file in " + folder + " (" + std::strerror(errno) + ")";
    return false;
  }
  const bool written = WriteAll(fd, bytes) && ::fsync(fd) == 0;
  const int writeErrno = errno;
  ::close(fd);
  if (!written) {
    path_calls::Unlink(temp.c_str());
    error = "cannot write in " + folder + " (" + std::strerror(writeErrno) + ")";
    return false;
  }
  // link() never replaces an existing name: a backup of the same tracker in
  // the same second takes the next number.
  const std::string stem = folder + "/" + imei + "-" + BackupTimeStamp(when);
  bool linked = false;
  for (int number = 1; number <= MAX_SAME_SECOND && !linked; ++number) {
    path = stem + (number == 1 ? std::string() : "-" + std::to_string(number)) + ".ini";
    if (path_calls::Link(temp.c_str(), path.c_str()) == 0) {
      linked = true;
    } else if (errno != EEXIST) {
      error = "cannot name the backup " + path + " (" + std::strerror(errno) + ")";
      break;
    }
  }
  path_calls::Unlink(temp.c_str());
  if (!linked) {
    if (error.empty()) error = "too many backups of " + imei + " within one second";
    path.clear();
    return false;
  }
  SyncFolder(folder);
  // What is on the disk is what a restore will write: read it back.
  std::string check, reason;
  if (!ReadInputFile(path, MAX_BACKUP_BYTES, check, reason) || check != bytes) {
    error = "the backup " + path + " does not read back as written" + (reason.empty() ? "" : " (" + reason + ")");
    path_calls::Unlink(path.c_str());
    path.clear();
    return false;
  }
  return true;
}

bool FindNewestBackup(const std::string& folder, const std::string& imei, std::string& path, std::string& error) {
  path.clear();
  if (!IsBackupImei(imei)) {
    error = "the tracker's IMEI is unknown, so its backups cannot be found";
    return false;
  }
  std::vector<std::string> names;
  if (!path_calls::FolderNames(folder.c_str(), names)) {
    error = errno == ENOENT ? "no backup of " + imei + " in " + folder + " (the folder does not exist)"
                            : "cannot read the folder " + folder + " (" + std::strerror(errno) + ")";
    return false;
  }
  std::string bestStamp;
  int bestNumber = 0;
  std::string bestName;
  for (const std::string& name : names) {
    std::string stamp, named = imei;
    int number = 0;
    if (!ParseBackupName(name, named, stamp, number)) continue;
    if (std::tie(stamp, number) > std::tie(bestStamp, bestNumber)) {
      bestStamp = stamp;
      bestNumber = number;
      bestName = name;
    }
  }
  if (bestName.empty()) {
    error = "no backup of " + imei + " in " + folder;
    return false;
  }
  path = folder + "/" + bestName;
  return true;
}

bool ListBackups(const std::string& folder, const std::string& imei, std::vector<BackupName>& backups,
                 std::string& error) {
  backups.clear();
  std::vector<std::string> names;
  if (!path_calls::FolderNames(folder.c_str(), names)) {
    if (errno == ENOENT) return true;
    error = "cannot read the folder " + folder + " (" + std::strerror(errno) + ")";
    return false;
  }
  for (const std::string& name : names) {
    BackupName backup;
    backup.imei = imei;
    if (!ParseBackupName(name, backup.imei, backup.stamp, backup.number)) continue;
    backup.path = folder + "/" + name;
    backups.push_back(std::move(backup));
  }
  std::sort(backups.begin(), backups.end(), [](const BackupName& a, const BackupName& b) {
    if (a.imei != b.imei) return a.imei < b.imei;
    return std::tie(a.stamp, a.number) > std::tie(b.stamp, b.number);
  });
  return true;
}

namespace {
std::string RestoreNotePath(const std::string& folder, const std::string& imei) {
  return folder + "/" + imei + ".restore-in-progress";
}
}  // namespace

bool NoteRestoreInProgress(const std::string& folder, const std::string& imei, const std::string& source,
                           std::string& error) {
  if (!IsBackupImei(imei)) {
    error = "the tracker's IMEI is unknown";
    return false;
  }
  const std::string note = RestoreNotePath(folder, imei);
  int failure = 0;
  if (!platform::ReplaceFileContents(note, source + "\n", failure)) {
    error = "cannot write " + note + " (" + std::strerror(failure) + ")";
    return false;
  }
  SyncFolder(folder);
  return true;
}

std::optional<std::string> RestoreInProgress(const std::string& folder, const std::string& imei) {
  if (!IsBackupImei(imei)) return std::nullopt;
  std::string bytes, reason;
  if (!ReadInputFile(RestoreNotePath(folder, imei), 64 * 1024, bytes, reason)) return std::nullopt;
  while (!bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r')) bytes.pop_back();
  if (bytes.empty()) return std::nullopt;
  return bytes;
}

void ClearRestoreInProgress(const std::string& folder, const std::string& imei) {
  if (!IsBackupImei(imei)) return;
  if (path_calls::Unlink(RestoreNotePath(folder, imei).c_str()) == 0) SyncFolder(folder);
}

std::vector<std::string> ImeisWithRestoreInProgress(const std::string& folder) {
  static constexpr std::string_view kSuffix = ".restore-in-progress";
  std::vector<std::string> imeis;
  std::vector<std::string> names;
  if (!path_calls::FolderNames(folder.c_str(), names)) return imeis;
  for (const std::string_view name : names) {
    if (name.size() <= kSuffix.size() || name.substr(name.size() - kSuffix.size()) != kSuffix) continue;
    const std::string imei(name.substr(0, name.size() - kSuffix.size()));
    if (IsBackupImei(imei) && RestoreInProgress(folder, imei)) imeis.push_back(imei);
  }
  std::sort(imeis.begin(), imeis.end());
  return imeis;
}
