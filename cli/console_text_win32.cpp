#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "console_text.h"
#include "platform/wide_text.h"

namespace console {

TextRoute RouteOf(void* handle) {
  DWORD mode = 0;
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return TextRoute::Bytes;
  return ::GetConsoleMode(static_cast<HANDLE>(handle), &mode) ? TextRoute::Console : TextRoute::Bytes;
}

bool WriteToConsole(void* handle, std::string_view text) {
  if (text.empty()) return true;
  // kvctl's own text is UTF-8; a settings file printed as it is (get) holds
  // the tracker's code page 1252 text, which is shown as such.
  std::wstring wide;
  if (!platform::Utf8ToWide(text, wide)) {
    const int count = ::MultiByteToWideChar(1252, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (count <= 0) {
      errno = EILSEQ;
      return false;
    }
    wide.assign(static_cast<std::size_t>(count), L'\0');
    ::MultiByteToWideChar(1252, 0, text.data(), static_cast<int>(text.size()), wide.data(), count);
  }
  std::size_t done = 0;
  while (done < wide.size()) {
    // Consoles take a limited amount per call: pieces of 8 K characters.
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(wide.size() - done, 8192));
    DWORD written = 0;
    if (!::WriteConsoleW(static_cast<HANDLE>(handle), wide.data() + done, piece, &written, nullptr) || written == 0) {
      errno = EIO;
      return false;
    }
    done += written;
  }
  return true;
}

bool WriteText(std::FILE* stream, std::string_view text) {
  const int fd = ::_fileno(stream);
  HANDLE handle = fd >= 0 ? reinterpret_cast<HANDLE>(::_get_osfhandle(fd)) : INVALID_HANDLE_VALUE;
  if (RouteOf(handle) == TextRoute::Console) {
    // Nothing may wait in the stream's buffer behind the wide text.
    if (std::fflush(stream) != 0) return false;
    return WriteToConsole(handle, text);
  }
  const bool written = std::fwrite(text.data(), 1, text.size(), stream) == text.size();
  return std::fflush(stream) == 0 && written;
}

}  // namespace console
