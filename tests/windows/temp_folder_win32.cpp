// Windows version of the tests' temporary folder (temp_folder.h): a new
// folder under %TEMP% with a unique name.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "temp_folder.h"

namespace test_support {

TempFolder::TempFolder() {
  static std::atomic<unsigned> counter{0};
  const std::string base = std::filesystem::temp_directory_path().generic_string();
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    std::string candidate = base + (base.back() == '/' ? "" : "/") + "kvtest-" +
                            std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(counter++);
    if (::CreateDirectoryA(candidate.c_str(), nullptr)) path_ = candidate;
  }
  if (path_.empty()) ADD_FAILURE() << "cannot create a temporary folder";
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempFolder::Listing() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path_))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  std::string out;
  for (const auto& n : names) out += n + "\n";
  return out;
}

void WriteTestFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) ADD_FAILURE() << "cannot write " << path;
}

std::string ReadTestFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace test_support
