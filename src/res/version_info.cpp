#include "res/version_info.h"

namespace res {

const VersionInfo& ToolVersion() {
  static const VersionInfo info{
      .productName = "KV-770 Tool",
      .fileDescription = "KV-770 User tool",
      .fileVersion = "1.4.0.0",
      .productVersion = "1.4",
      .buildDate = "20090904",
      .internalName = "kvtool",
      .originalFilename = "kvtool",
  };
  return info;
}

}  // namespace res
