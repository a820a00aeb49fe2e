// What a settings file given to set or diff holds, judged before anything is
// sent: a file without a single setting (empty, binary, /dev/null, the wrong
// file) is refused; settings it lacks are named.
//
// Thread contract: pure functions.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "settings/settings_table.h"

// The settings sent to a tracker of `layout` for which the file holds no key.
std::vector<const settings::SettingInfo*> MissingSettings(std::string_view fileBytes, settings::SettingsLayout layout);

// True when the file holds the key of at least one setting a tracker of
// `layout` is sent.
bool HoldsAnySetting(std::string_view fileBytes, settings::SettingsLayout layout);

// "Caption" (KEY in [SECTION]), one per line, for an error message.
std::string DescribeSettings(const std::vector<const settings::SettingInfo*>& list);
