// kvctl version, get, set and diff: the Device Setting dialog's jobs, on the
// same settings engine, record, messages and settings-file code.
#include <algorithm>
#include <map>
#include <mutex>

#include "commands.h"
#include "console.h"
#include "interrupt.h"
#include "common/json_text.h"
#include "output_file.h"
#include "settings_input.h"
#include "tracker_session.h"
#include "settings/settings_file.h"
#include "settings/settings_table.h"
#include "settings_session.h"
#include "terminal_text.h"

using namespace settings;

std::string OutputPathFor(const std::string& pattern, const std::string& port) {
  std::string safe = port;
  for (auto& c : safe)
    if (c == '/') c = '-';
  if (!safe.empty() && safe[0] == '-') safe.erase(0, 1);
  std::string path = pattern;
  for (std::size_t at = path.find("%p"); at != std::string::npos; at = path.find("%p")) path.replace(at, 2, safe);
  return path;
}

namespace {

const char* LayoutName(SettingsLayout layout) { return layout == SettingsLayout::Basic ? "basic" : "extended"; }

std::string SettingsJson(const SettingsSession& session, const DeviceSettings& record, const std::string& port) {
  const SettingsLayout layout = session.Version().layout;
  std::string json = "{\n  \"port\": " + JsonString(port) + ",\n  \"imei\": " + JsonStringFromAnsi(session.Imei()) +
                     ",\n  \"firmwareVersion\": " + JsonStringFromAnsi(session.Version().text) +
                     ",\n  \"layout\": " + JsonString(LayoutName(layout)) + ",\n  \"settings\": {";
  bool first = true;
  for (const SettingInfo& info : SETTINGS_TABLE) {
    if (!IsInFile(info, layout)) continue;
    json += first ? "\n" : ",\n";
    first = false;
    json += "    " + JsonString(info.identifier) + ": " + JsonStringFromAnsi(FileValueText(record, info.id));
  }
  return json + "\n  }\n}";
}

}  // namespace

// Applies FILE's settings in the tracker's layout. Refuses (exit 4) a file
// without any setting of that layout; names the settings it lacks on
// standard error (they are sent empty, as the dialog's import does), and
// with `strict` refuses them too. False when refused.
bool LoadForTracker(const SettingsFileInput& file, SettingsLayout layout, bool strict, bool forWrite,
                    DeviceSettings& record, JobContext& context, JobResult& result,
                    const std::vector<SettingId>& supplied) {
  if (!HoldsAnySetting(file.bytes, layout)) {
    result.code = kExitRefused;
    result.verdict = "no settings";
    result.detail = file.path + ": no settings found (of the " + LayoutName(layout) + " layout)";
    context.Fail("Refused before anything was deleted or written on the tracker", result.detail);
    return false;
  }
  auto missing = MissingSettings(file.bytes, layout);
  std::erase_if(missing, [&](const SettingInfo* info) {
    return std::find(supplied.begin(), supplied.end(), info->id) != supplied.end();
  });
  if (!missing.empty()) {
    const std::string count = std::to_string(missing.size());
    if (strict) {
      result.code = kExitRefused;
      result.verdict = "missing settings";
      result.detail = file.path + ": " + count + " settings missing (--strict)";
      context.Fail("Refused before anything was deleted or written on the tracker: " + file.path + " lacks " + count +
                       " settings (--strict)",
                   DescribeSettings(missing) + "\n");
      return false;
    }
    context.Fail(file.path + " lacks " + count +
                     (strict || !forWrite ? " settings; they count as empty"
                                          : " settings; they are sent empty (--strict refuses)"),
                 DescribeSettings(missing) + "\n");
  }
  record = DeviceSettings::DialogStart();
  ApplySettingsFileText(file.bytes, layout, record);
  return true;
}

int CmdVersion(const std::vector<std::string>& ports) {
  return RunOnPorts(ports, [](JobContext& context) {
    JobResult result;
    SettingsSession session(context);
    if (!session.Open(result)) return result;
    const VersionAnswer v = session.Version();
    if (!v.answered) {
      result.code = kExitFailed;
      result.verdict = "no version";
      result.detail = "version: no answer to \"kv+fwv\" within " + std::to_string(VERSION_WAIT_MS) + " ms";
      context.Fail("No firmware version answer", result.detail);
      return result;
    }
    // The whole answer, as the window shows it: the 21 characters the
    // settings keep cut off what tells two builds apart.
    const std::string shown = TextForStdout(v.whole.empty() ? v.text : v.whole);
    context.Say(shown + " (" + LayoutName(v.layout) + " layout)");
    result.verdict = shown;
    return result;
  });
}

int CmdGet(const std::vector<std::string>& ports, const std::string& output, bool json) {
  const bool several = ports.size() > 1;
  // Several trackers' JSON on standard output is one array, in port order.
  const bool jsonArray = json && several && output.empty();
  std::mutex documentsLock;
  std::map<std::string, std::string> documents;
  const int code = RunOnPorts(
      ports,
      [&](JobContext& context) {
        JobResult result;
        SettingsSession session(context);
        DeviceSettings record;
        if (!session.Open(result) || !session.Read(record, result)) {
          if (jsonArray) {
            std::lock_guard<std::mutex> lock(documentsLock);
            documents[context.Port()] = "{\n  \"port\": " + JsonString(context.Port()) +
                                        ",\n  \"error\": " + JsonString(result.verdict + ": " + result.detail) + "\n}";
          }
          return result;
        }
        const SettingsLayout layout = session.Version().layout;
        const std::string text =
            json ? SettingsJson(session, record, context.Port()) + "\n" : SettingsFileText(record, layout);
        // The settings came from the tracker: shown on a terminal, its control
        // bytes are made visible (JSON has its own escapes).
        const std::string shown = json ? text : TextForStdout(text, true);
        result.verdict = "read";
        if (jsonArray) {
          std::lock_guard<std::mutex> lock(documentsLock);
          documents[context.Port()] = SettingsJson(session, record, context.Port());
          return result;
        }
        if (output.empty()) {
          console::Raw(several ? "[" + context.Port() + "] ---\n" + shown : shown);
          return result;
        }
        const std::string path = OutputPathFor(output, context.Port());
        std::string reason;
        if (!WriteOutputFile(path, text, reason)) {
          result.code = kExitFailed;
          result.verdict = SAVE_FILE_FAIL_TEXT;
          result.detail = "cannot write " + path + ": " + reason;
          context.Fail(SAVE_FILE_FAIL_TEXT, result.detail);
          return result;
        }
        result.detail = path;
        return result;
      },
      jsonArray ? SummaryTo::Stderr : SummaryTo::Stdout);
  if (jsonArray) {
    std::string array = "[";
    for (std::size_t i = 0; i < ports.size(); ++i) {
      const auto it = documents.find(ports[i]);
      if (it == documents.end()) continue;
      array += (array.size() > 1 ? ",\n" : "\n") + it->second;
    }
    console::Raw(array + "\n]\n");
  }
  return code;
}

int CmdDiff(const std::vector<std::string>& ports, const SettingsFileInput& file) {
  return RunOnPorts(ports, [&](JobContext& context) {
    JobResult result;
    SettingsSession session(context);
    if (!session.Open(result)) return result;
    DeviceSettings tracker;
    if (!session.Read(tracker, result)) return result;
    const SettingsLayout layout = session.Version().layout;
    DeviceSettings wanted;
    if (!LoadForTracker(file, layout, false, false, wanted, context, result)) return result;
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
      context.Say(std::string(info.caption) + ": tracker \"" + TextForStdout(a) + "\", file \"" + TextForStdout(b) +
                  "\"");
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
