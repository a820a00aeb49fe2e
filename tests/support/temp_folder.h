// A folder of its own for a test's files, removed with everything in it when
// the test ends.
#pragma once

#include <string>

namespace test_support {

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

  // Names of the entries in the folder, sorted.
  std::string Listing() const;

 private:
  std::string path_;
};

// Writes `bytes` to `path` (test set-up; fails the test on error).
void WriteTestFile(const std::string& path, const std::string& bytes);
std::string ReadTestFile(const std::string& path);

}  // namespace test_support
