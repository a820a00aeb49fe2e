// kvctl version, get, set and diff: the Device Setting dialog's jobs, on the
// same settings engine, record, messages and settings-file code.
#include <fstream>

#include "commands.h"
#include "console.h"
#include "json_text.h"
#include "settings/settings_file.h"
#include "settings/settings_table.h"
#include "settings_session.h"

using namespace settings;

namespace {

const char* LayoutName(SettingsLayout layout) {
  return layout == SettingsLayout::Basic ? "basic" : "extended";
}

// The file name for one of several trackers: "%p" becomes the port's name
// with its slashes turned into dashes.
std::string OutputPathFor(const std::string& pattern, const std::string& port) {
  std::string safe = port;
  for (auto& c : safe)
    if (c == '/') c = '-';
  if (!safe.empty() && safe[0] == '-') safe.erase(0, 1);
  std::string path = pattern;
  for (std::size_t at = path.find("%p"); at != std::string::npos; at = path.find("%p"))
    path.replace(at, 2, safe);
  return path;
}

std::string SettingsJson(const SettingsSession& session, const DeviceSettings& record,
                         const std::string& port) {
  const SettingsLayout layout = session.Version().layout;
  std::string json = "{\n  \"port\": " + JsonString(port) + ",\n  \"imei\": " + JsonString(session.Imei()) +
                     ",\n  \"firmwareVersion\": " + JsonString(session.Version().text) +
                     ",\n  \"layout\": " + JsonString(LayoutName(layout)) + ",\n  \"settings\": {";
  bool first = true;
  for (const SettingInfo& info : SETTINGS_TABLE) {
    if (!IsInFile(info, layout)) continue;
    json += first ? "\n" : ",\n";
    first = false;
    json += "    " + JsonString(info.identifier) + ": " + JsonString(FileValueText(record, info.id));
  }
  return json + "\n  }\n}";
}

// Loads FILE in the tracker's layout; false (exit 4) when it cannot be read.
bool LoadForTracker(const std::string& path, SettingsLayout layout, DeviceSettings& record,
                    JobContext& context, JobResult& result) {
  record = DeviceSettings::DialogStart();
  if (LoadSettingsFile(path, layout, record) == LoadResult::Ok) return true;
  result.code = kExitRefused;
  result.verdict = "file unreadable";
  result.detail = "cannot read " + path;
  context.Fail("Cannot read the settings file", path);
  return false;
}

}  // namespace

int CmdVersion(const std::vector<std::string>& ports) {
  return RunOnPorts(ports, [](JobContext& context) {
    JobResult result;
    SettingsSession session(context);
    if (!session.Open(result)) return result;
    const VersionAnswer v = session.Version();
    if (!v.answered) {
      result.code = kExitFailed;
      result.verdict = "no version";
      result.detail = "version: no answer to \"kv+fwv\" within 2000 ms";
      context.Fail("No firmware version answer", result.detail);
      return result;
    }
    context.Say(v.text + " (" + LayoutName(v.layout) + " layout)");
    result.verdict = v.text;
    return result;
  });
}

int CmdGet(const std::vector<std::string>& ports, const std::string& output, bool json) {
  const bool several = ports.size() > 1;
  return RunOnPorts(ports, [&](JobContext& context) {
    JobResult result;
    SettingsSession session(context);
    if (!session.Open(result)) return result;
    DeviceSettings record;
    if (!session.Read(record, result)) return result;
    const SettingsLayout layout = session.Version().layout;
    const std::string text = json ? SettingsJson(session, record, context.Port()) + "\n"
                                  : SettingsFileText(record, layout);
    result.verdict = "read";
    if (output.empty()) {
      if (several) {
        context.Say("---");
        console::Raw(text);
      } else {
        console::Raw(text);
      }
      return result;
    }
    const std::string path = several ? OutputPathFor(output, context.Port()) : output;
    bool saved;
    if (json) {
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      out << text;
      saved = static_cast<bool>(out.flush());
    } else {
      saved = SaveSettingsFile(path, layout, record);
    }
    if (!saved) {
      result.code = kExitFailed;
      result.verdict = SAVE_FILE_FAIL_TEXT;
      result.detail = "cannot write " + path;
      context.Fail(SAVE_FILE_FAIL_TEXT, result.detail);
      return result;
    }
    result.detail = path;
    return result;
  });
}

int CmdDiff(const std::vector<std::string>& ports, const std::string& file) {
  return RunOnPorts(ports, [&](JobContext& context) {
    JobResult result;
    SettingsSession session(context);
    if (!session.Open(result)) return result;
    DeviceSettings tracker;
    if (!session.Read(tracker, result)) return result;
    const SettingsLayout layout = session.Version().layout;
    DeviceSettings wanted;
    if (!LoadForTracker(file, layout, wanted, context, result)) return result;
    int differences = 0;
    for (const SettingInfo& info : SETTINGS_TABLE) {
      if (!IsSent(info, layout)) continue;  // only what the tracker holds
      const std::string a = FileValueText(tracker, info.id);
      const std::string b = FileValueText(wanted, info.id);
      // A list the file leaves without a selection says nothing about it
      // (the report mode's "Stop report" is empty too, and compares equal).
      if (IsList(info) && b.empty() && info.id != SettingId::reportMode) continue;
      if (a == b) continue;
      ++differences;
      context.Say(std::string(info.caption) + ": tracker \"" + a + "\", file \"" + b + "\"");
    }
    if (differences == 0) {
      context.Say("no differences");
      result.verdict = "same";
    } else {
      result.code = kExitFailed;
      result.verdict = std::to_string(differences) + " differ";
    }
    return result;
  });
}
