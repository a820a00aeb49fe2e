#include "settings_precheck.h"

#include <algorithm>

#include "settings/settings_check.h"
#include "settings/settings_file.h"
#include "settings_input.h"

using namespace settings;

namespace {

constexpr SettingsLayout kLayouts[] = {SettingsLayout::Extended, SettingsLayout::Basic};

const char* LayoutName(SettingsLayout layout) { return layout == SettingsLayout::Basic ? "basic" : "extended"; }

// "" when both layouts have the problem, else which one.
std::string OnlyIn(bool extended, bool basic) {
  if (extended && basic) return "";
  return std::string(" (trackers of the ") + (extended ? "extended" : "basic") + " layout)";
}

std::string Indented(const std::string& lines) {
  std::string out = "  ";
  for (const char c : lines) out += c == '\n' ? std::string("\n  ") : std::string(1, c);
  return out;
}

std::vector<const SettingInfo*> Without(std::vector<const SettingInfo*> missing, const std::vector<SettingId>& given) {
  std::erase_if(
      missing, [&](const SettingInfo* info) { return std::find(given.begin(), given.end(), info->id) != given.end(); });
  return missing;
}

// The file alone, as a tracker without a row gets it.
bool CheckFileAlone(const SettingsCheckInput& input, std::string& error) {
  const SettingsFileInput& file = *input.file;
  std::vector<const SettingInfo*> missing[2];
  std::vector<SettingsProblem> problems[2];
  for (int i = 0; i < 2; ++i) {
    missing[i] = MissingSettings(file.bytes, kLayouts[i]);
    DeviceSettings record = DeviceSettings::DialogStart();
    ApplySettingsFileText(file.bytes, kLayouts[i], record);
    problems[i] = CheckForDevice(record, kLayouts[i]);
  }
  if (input.strict && (!missing[0].empty() || !missing[1].empty())) {
    const int i = missing[0].empty() ? 1 : 0;
    error = file.path + " lacks " + std::to_string(missing[i].size()) + " settings (--strict)" +
            OnlyIn(!missing[0].empty(), !missing[1].empty());
    if (input.profiles)
      error += "; trackers without a row in " + input.profilesPath + " would get them empty (--only-listed skips them)";
    error += ":\n" + Indented(DescribeSettings(missing[i]));
    return false;
  }
  if (!problems[0].empty() || !problems[1].empty()) {
    const int i = problems[0].empty() ? 1 : 0;
    // The check's own heading ("These settings cannot be sent ...") is
    // replaced by one that names the file.
    const std::string lines = DescribeProblems(problems[i]);
    error = file.path + " cannot be sent" + OnlyIn(!problems[0].empty(), !problems[1].empty()) + ":\n" +
            Indented(lines.substr(lines.find('\n') + 1));
    return false;
  }
  return true;
}

// --strict for each row: what neither the row nor the file gives.
bool CheckRowsComplete(const SettingsCheckInput& input, std::string& error) {
  for (const SettingsLayout layout : kLayouts) {
    const auto missing = MissingSettings(input.file->bytes, layout);
    if (missing.empty()) continue;
    for (const UnitProfile& row : input.profiles->Rows()) {
      const auto lacking = Without(missing, input.profiles->Supplied(row));
      if (lacking.empty()) continue;
      error = input.profilesPath + ": row " + std::to_string(row.row) + ": neither the row nor " + input.file->path +
              " gives " + std::to_string(lacking.size()) + " settings of the " + LayoutName(layout) +
              " layout (--strict):\n" + Indented(DescribeSettings(lacking));
      return false;
    }
  }
  return true;
}

}  // namespace

bool CheckSettingsBeforeTrackers(const SettingsCheckInput& input, std::string& error) {
  if (!input.file) return true;
  const bool fileAlone = !input.profiles || !input.onlyListed;
  if (fileAlone && !CheckFileAlone(input, error)) return false;
  if (!input.profiles) return true;
  if (input.strict && !CheckRowsComplete(input, error)) return false;
  if (!input.profiles->CheckAgainst(input.file->bytes, error)) {
    error = input.profilesPath + ": " + error;
    return false;
  }
  return true;
}
