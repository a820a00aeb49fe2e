#include "firmware/firmware_image.h"

#include <fcntl.h>
#include <sys/stat.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>
#include <new>
#include <system_error>

#include "firmware/ymodem_sender.h"
#include "platform/path_calls.h"

namespace {

bool Fail(FirmwareTransferReport* report, FirmwareStep step, int code, int systemError = 0) {
  if (report != nullptr) {
    report->step = step;
    report->code = code;
    report->systemError = systemError;
  }
  return false;
}

// Opens path for binary reading, refusing anything but a regular file (fopen
// also opens folders and devices on POSIX, whose "size" says nothing about an
// image, and blocks on a FIFO until a writer comes). On failure returns null
// with `error` set: the system's errno, or EISDIR / 0 for a folder / another
// kind of file.
std::FILE* OpenRegularFile(const char* path, int& error) {
  error = 0;
#ifdef _WIN32
  // Wide, so that a name in any script opens (path_calls.h).
  std::FILE* file = path_calls::OpenStream(path, "rb");
  if (file == nullptr) {
    error = errno;
    return nullptr;
  }
  struct _stat64 st {};
  if (_fstat64(_fileno(file), &st) != 0 || (st.st_mode & _S_IFREG) == 0) {
    std::fclose(file);
    return nullptr;
  }
  return file;
#else
  const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error = errno;
    return nullptr;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (S_ISDIR(st.st_mode)) error = EISDIR;
    ::close(fd);
    return nullptr;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  std::FILE* file = ::fdopen(fd, "rb");
  if (file == nullptr) {
    error = errno;
    ::close(fd);
  }
  return file;
#endif
}

// The file's size by seeking to its end and back; -1 when a seek fails.
std::int64_t MeasureFile(std::FILE* file) {
#ifdef _WIN32
  if (_fseeki64(file, 0, SEEK_END) != 0) return -1;
  const std::int64_t size = _ftelli64(file);
  if (size < 0 || _fseeki64(file, 0, SEEK_SET) != 0) return -1;
#else
  if (::fseeko(file, 0, SEEK_END) != 0) return -1;
  const std::int64_t size = ::ftello(file);
  if (size < 0 || ::fseeko(file, 0, SEEK_SET) != 0) return -1;
#endif
  return size;
}

}  // namespace

std::string FirmwareHeaderName(const std::string& path) {
#ifdef _WIN32
  return path;
#else
  std::string full = path;
  if (!path.empty() && path[0] != '/') {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (!error) full = absolute.lexically_normal().string();
  }
  const std::size_t first = full.find_first_not_of('/');
  return first == std::string::npos ? std::string() : full.substr(first);
#endif
}

bool OpenFirmwareImage(const char* path, FirmwareImage& image, FirmwareTransferReport* report) {
  image = FirmwareImage{};
  if (path == nullptr) return Fail(report, FirmwareStep::OpenFile, TRANSFER_SOURCE_FAILED, ENOENT);
  image.path = path;
  int error = 0;
  image.file.reset(OpenRegularFile(path, error));
  if (!image.file) return Fail(report, FirmwareStep::OpenFile, TRANSFER_SOURCE_FAILED, error);
  const std::int64_t size = MeasureFile(image.file.get());
  if (size < 0) {
    image.file.reset();
    return Fail(report, FirmwareStep::MeasureFile, TRANSFER_SOURCE_FAILED, errno);
  }
  if (size > std::numeric_limits<std::int32_t>::max()) {
    image.file.reset();
    return Fail(report, FirmwareStep::FileTooLarge, TRANSFER_SOURCE_FAILED);
  }
  image.size = static_cast<std::int32_t>(size);
  image.headerName = FirmwareHeaderName(path);
  BYTE header[YmodemSender::HEADER_SIZE];
  if (YmodemSender::BuildHeader(header, image.headerName.c_str(), static_cast<DWORD>(size)) != TRANSFER_OK) {
    image.file.reset();
    return Fail(report, FirmwareStep::NameTooLong, TRANSFER_HEADER_TOO_LONG);
  }
  return true;
}

bool LoadFirmwareImage(FirmwareImage& image, FirmwareTransferReport* report) {
  if (!image.file) return Fail(report, FirmwareStep::ReadImage, TRANSFER_SOURCE_FAILED);
  std::FILE* file = image.file.get();
  std::rewind(file);
  try {
    image.bytes.resize(static_cast<std::size_t>(image.size));
  } catch (const std::bad_alloc&) {
    image.file.reset();
    return Fail(report, FirmwareStep::ReadImage, TRANSFER_SOURCE_FAILED, ENOMEM);
  }
  const std::size_t got = std::fread(image.bytes.data(), 1, image.bytes.size(), file);
  const int readError = std::ferror(file) ? errno : 0;
  // A file whose size is no longer the measured one was being written: the
  // copy may be part old, part new, and not the image the user chose.
  const bool resized = got == image.bytes.size() && MeasureFile(file) != image.size;
  image.file.reset();
  if (got != image.bytes.size() || resized) {
    image.bytes.clear();
    image.bytes.shrink_to_fit();
    return Fail(report, FirmwareStep::ReadImage, TRANSFER_SOURCE_FAILED, readError);
  }
  image.loaded = true;
  return true;
}

std::string FirmwareFileProblem(const FirmwareTransferReport& report) {
  switch (report.step) {
    case FirmwareStep::OpenFile:
      if (report.systemError == ENOENT) return "no such file";
      if (report.systemError == EACCES) return "permission denied";
      if (report.systemError == EISDIR) return "is a directory";
      if (report.systemError != 0) return std::strerror(report.systemError);
      return "not a regular file";
    case FirmwareStep::MeasureFile: return "its size could not be measured";
    case FirmwareStep::FileTooLarge: return "too large (2 GiB or more)";
    case FirmwareStep::NameTooLong: return "the path is too long for the header block";
    case FirmwareStep::ReadImage:
      if (report.systemError == ENOMEM) return "too large to hold in memory";
      if (report.systemError != 0) return std::strerror(report.systemError);
      return "it changed size while it was read";
    default: return "";
  }
}
