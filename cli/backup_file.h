// What a backup file holds: the settings file `kvctl get` prints for the
// tracker, followed by the section "KVCTL BACKUP" with the tracker's IMEI,
// its settings layout and its four message texts exactly as they were read
// (a message the tracker did not hold is listed under "Missing messages").
// The settings-file reader knows no such section, so a backup still imports
// into the window and anywhere else a settings file does.
//
// A restore writes the texts, so the tracker's messages come back byte for
// byte (a list field the tracker held empty stays empty). A backup whose
// texts and settings disagree, that lacks settings or texts, or that was
// taken while messages were missing (an interrupted write had deleted them)
// is never written back.
//
// Thread contract: pure functions.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "settings/device_settings.h"
#include "settings/settings_exchange_state.h"

inline constexpr std::string_view BACKUP_SECTION = "KVCTL BACKUP";

// The bytes of a backup of a tracker that held `texts` (read in `layout`,
// giving `read`).
std::string BackupFileText(const settings::DeviceSettings& read, settings::SettingsLayout layout,
                           const std::string& imei, const settings::MessageTexts& texts);

struct BackupContents {
  enum class Kind {
    Exact,         // whole and consistent: the texts can be written back
    Incomplete,    // taken while the tracker lacked messages (`problem` names them)
    WithoutTexts,  // a settings file without the section (an older kvctl's backup)
    Refused,       // truncated, edited or broken (`problem` says what is wrong)
  };
  Kind kind = Kind::Refused;
  std::string problem;
  std::string imei;  // from the section; empty when not known
  settings::SettingsLayout layout = settings::SettingsLayout::Extended;
  std::array<std::string, settings::MESSAGE_COUNT> texts;  // Exact: without the closing CR
  settings::DeviceSettings record;                         // Exact: the settings the texts give
};

// Reads and checks a backup's bytes.
BackupContents ReadBackupContents(std::string_view bytes);

// "whole", "messages 2, 3 missing", ... : one short phrase for a listing.
std::string DescribeBackup(const BackupContents& contents);
