// The audit log: one JSON object per line for every tracker that `set`,
// `restore` or `update` worked on, with what was written (the file and its
// SHA-256), to which tracker (port, IMEI, firmware version), the verdict,
// the exit status and the time taken.
//
// Each line reaches the file with one write() on a descriptor opened with
// O_APPEND, so the lines of several kvctl processes sharing a log never mix.
// The default log is the user's state folder under "kv770/audit.jsonl".
//
// Thread contract: FormatAuditLine is pure. An AuditLog is opened once, before
// tracker threads start; Append may then be called from any thread.
#pragma once

#include <chrono>
#include <mutex>
#include <string>

struct AuditRecord {
  std::chrono::system_clock::time_point time;  // when the tracker's job ended
  std::string command;                         // "set", "restore", "update"
  std::string port;
  std::string imei;             // empty when unknown (null in the log); update: read after it
  std::string firmwareVersion;  // empty when unknown; update: read after it
  // What was written: a settings file (set, restore) or a firmware image.
  std::string settingsFile, settingsFileSha256;
  std::string image, imageSha256;
  std::string imageVersion;  // update: the version the image names (empty: none)
  // set --profiles: the table, its digest and the row used (0: none).
  std::string profiles, profilesSha256;
  std::size_t profileRow = 0;
  std::string backup;  // the backup taken before the write, if any
  std::string verdict;
  int exitStatus = 0;
  double seconds = 0;
};

// <state folder>/kv770/audit.jsonl; empty when no home folder is known.
std::string DefaultAuditLogPath();

// The record as one line of JSON, line end included, through json_text.h:
// the IMEI and firmware version as the tracker's code page 1252 text, the
// rest as UTF-8 (stray bytes written as \u00XX, so every line parses).
std::string FormatAuditLine(const AuditRecord& record);

class AuditLog {
 public:
  AuditLog() = default;
  ~AuditLog();
  AuditLog(const AuditLog&) = delete;
  AuditLog& operator=(const AuditLog&) = delete;

  // Opens (creating when missing, private to the user) the log at `path`,
  // and its folder. False with the reason; a path that is not a regular
  // file (a folder, a FIFO, a terminal) is refused.
  bool Open(const std::string& path, std::string& error);
  bool IsOpen() const { return fd_ >= 0; }
  const std::string& Path() const { return path_; }

  // Appends one line with one write(); false with the reason when the line
  // did not reach the file whole.
  bool Append(const AuditRecord& record, std::string& error) const;

 private:
  int fd_ = -1;
  std::string path_;
  mutable std::mutex appending_;
};
