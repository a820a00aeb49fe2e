// Windows profile (INI) files, read and written as Windows' own profile
// functions do, in plain C++ so that the same bytes come out on every system.
//
// Reading: a file that starts with a UTF-16 (either byte order) or UTF-8
// byte-order mark is read in code page 1252 (profile_file_encoding.h), any
// other byte for byte. Lines end at CR or LF; blanks (space, tab, the other C white-space
// characters and Ctrl-Z) around a line and around a value are ignored; a
// section starts with a line "[name]" (up to the last "]"); a key line is
// "key=value" (a line without "=" is a key without value). Section and key
// names match without regard to letter case; of two equal sections or two
// equal keys in a section the first one counts. A value enclosed in a
// matching pair of single or double quotes loses them. Values are cut to the
// reader's length limit.
//
// Writing: the text of a fresh file as Windows' writer produces it, one
// "[section]" line and one "key=value" line per key, CR LF line ends, no
// blank lines, no byte-order mark; a value loses its leading blanks.
//
// Thread contract: ProfileReader and ProfileWriter are plain values with no
// shared state; ReadProfileFile touches only the file named.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Longest value a profile read returns, as with a 256-byte buffer.
constexpr std::size_t PROFILE_VALUE_MAX_CHARS = 255;

class ProfileReader {
 public:
  // Parses the bytes of a profile file; never fails.
  static ProfileReader Parse(std::string_view bytes);

  // The value of `key` in `section`, at most `maxChars` characters, or no
  // value when the section or the key is missing.
  std::optional<std::string> Find(std::string_view section, std::string_view key,
                                  std::size_t maxChars = PROFILE_VALUE_MAX_CHARS) const;

  // The same, with a missing key read as an empty value.
  std::string Get(std::string_view section, std::string_view key,
                  std::size_t maxChars = PROFILE_VALUE_MAX_CHARS) const {
    return Find(section, key, maxChars).value_or(std::string());
  }

 private:
  struct Key {
    std::string name;
    std::string value;
  };
  struct Section {
    std::string name;
    std::vector<Key> keys;
  };
  std::vector<Section> sections_;
};

class ProfileWriter {
 public:
  // Writes `key` into `section` (created at the end when new); an existing
  // key of the same name, in any letter case, gets the new value.
  void Set(std::string_view section, std::string_view key, std::string_view value);

  // The file's bytes.
  std::string Text() const;

 private:
  struct Key {
    std::string name;
    std::string value;
  };
  struct Section {
    std::string name;
    std::vector<Key> keys;
  };
  std::vector<Section> sections_;
};

// Largest profile file read, far above any settings file.
constexpr std::size_t PROFILE_FILE_MAX_BYTES = 1024 * 1024;

enum class FileReadError { None, NotFound, IsDirectory, PermissionDenied, TooLarge, NotRegular, ReadFailed };

// Why a file could not be read, in words: "no such file", "is a directory",
// "permission denied", "too large (more than 1 MiB)", "not a regular file",
// "read error"; empty for None.
const char* DescribeFileReadError(FileReadError error);

// Reads a whole regular file of at most `maxBytes` bytes. Anything else (a
// folder, a FIFO, a device, a bigger file) fails at once, without blocking
// and without reading it; `bytes` is then empty.
FileReadError ReadProfileFile(const std::string& path, std::string& bytes,
                              std::size_t maxBytes = PROFILE_FILE_MAX_BYTES);

}  // namespace platform
