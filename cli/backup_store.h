// The backups kvctl takes before it deletes a tracker's settings: one
// settings file per backup, named by the tracker's IMEI and the time in UTC,
// "<IMEI>-YYYYMMDD-HHMMSS.ini" (a second backup of the same tracker within
// the same second gets "-2", "-3", ... before ".ini"). The bytes are those
// `kvctl get` prints for the tracker. A backup never replaces another file:
// it is written whole under a temporary name, flushed to the disk, then
// linked to its final name.
//
// The default folder is the user's data folder under "kv770/backups".
//
// Thread contract: the functions touch only the folder named; several
// threads and processes may save into one folder at once.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// <data folder>/kv770/backups; empty when no home folder is known.
std::string DefaultBackupFolder();

// True for an IMEI that can name a backup: digits only.
bool IsBackupImei(std::string_view imei);

// "YYYYMMDD-HHMMSS" of `when` in UTC.
std::string BackupTimeStamp(std::time_t when);

// Saves `bytes` as a new backup of the tracker `imei`, creating the folder
// when missing; the path written in `path`. False with the reason; nothing
// is left behind then.
bool SaveBackup(const std::string& folder, const std::string& imei, std::string_view bytes, std::time_t when,
                std::string& path, std::string& error);

// The newest backup of `imei` in `folder` (by the time in its name, then its
// number). False with the reason when there is none or the folder cannot be
// read.
bool FindNewestBackup(const std::string& folder, const std::string& imei, std::string& path, std::string& error);

struct BackupName {
  std::string path;
  std::string imei;
  std::string stamp;  // YYYYMMDD-HHMMSS
  int number = 1;
};

// Every backup in `folder` (of `imei` only, unless it is empty), newest
// first within each IMEI, IMEIs in ascending order. False with the reason
// when the folder cannot be read (a missing folder holds none).
bool ListBackups(const std::string& folder, const std::string& imei, std::vector<BackupName>& backups,
                 std::string& error);

// A restore in progress on tracker `imei`: the backup it writes is noted
// beside the backups before the first message is deleted, and the note is
// removed once a write to the tracker was verified. A plain restore finds
// the note and resumes that restore, also after kvctl was killed.
bool NoteRestoreInProgress(const std::string& folder, const std::string& imei, const std::string& source,
                           std::string& error);
std::optional<std::string> RestoreInProgress(const std::string& folder, const std::string& imei);
void ClearRestoreInProgress(const std::string& folder, const std::string& imei);
// The IMEIs with a restore in progress noted in `folder`, in ascending order.
std::vector<std::string> ImeisWithRestoreInProgress(const std::string& folder);
