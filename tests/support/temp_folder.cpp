#include "temp_folder.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace test_support {

TempFolder::TempFolder() {
  std::string pattern = std::filesystem::temp_directory_path().string() + "/kvtest-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "cannot create a temporary folder";
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempFolder::Listing() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path_)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  std::string out;
  for (const auto& n : names) out += n + "\n";
  return out;
}

void WriteTestFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();  // a full disk shows when the buffer is written out
  if (!out) ADD_FAILURE() << "cannot write " << path;
}

std::string ReadTestFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace test_support
