// The version block of the tool: what `kvtool --version` prints and what
// the application object reports to the toolkit.
#pragma once

namespace res {

struct VersionInfo {
  const char* productName;
  const char* fileDescription;
  const char* fileVersion;  // four parts, as a version resource has them
  const char* productVersion;
  const char* buildDate;  // yyyymmdd of the release
  const char* internalName;
  const char* originalFilename;
};

const VersionInfo& ToolVersion();

}  // namespace res
