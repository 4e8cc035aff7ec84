#include "platform/file.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>

namespace quellan::platform {

using error::IoError;

namespace {

std::unexpected<IoError> last_os_error() { return std::unexpected(IoError::os(errno)); }

// Longer paths are at or near MAX_PATH, past which the system reads a path only
// in its verbatim form. Below this length paths go to the system as given, so
// that device names (CON, NUL, aux.pak) and relative paths keep their meaning.
constexpr std::size_t VERBATIM_FROM = MAX_PATH - 12;

// The UTF-16 form of a UTF-8 path. The caller's str came through UTF-8 intact,
// so the conversion itself cannot fail but for memory.
std::wstring utf16_of(const std::string& utf8) {
  if (utf8.empty()) return {};
  const auto size = static_cast<int>(utf8.size());
  const int length = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  std::wstring utf16(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, utf16.data(), length);
  return utf16;
}

// A long path made absolute and verbatim ("\\?\C:\...", "\\?\UNC\server\..."),
// which lifts the MAX_PATH limit. The system stops normalising a verbatim path,
// so it is normalised here first: "/" becomes "\", "." and ".." are resolved.
std::wstring system_form_of(std::wstring path) {
  if (path.size() < VERBATIM_FROM || path.starts_with(LR"(\\?\)") || path.starts_with(LR"(\\.\)")) return path;
  const DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return path;  // the open then fails with the system's own error
  std::wstring full(needed, L'\0');
  const DWORD length = ::GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return path;
  full.resize(length);
  if (full.starts_with(LR"(\\)")) return LR"(\\?\UNC\)" + full.substr(2);
  return LR"(\\?\)" + full;
}

FileType type_of(unsigned mode) {
  switch (mode & _S_IFMT) {
    case _S_IFREG:
      return FileType::regular;
    case _S_IFDIR:
      return FileType::directory;
    default:
      return FileType::other;
  }
}

}  // namespace

error::Expected<File, IoError> File::open_read_only(const std::string& path) {
  const std::wstring system_path = system_form_of(utf16_of(path));
  // Binary, so that no byte is translated; not inherited by child processes; the
  // runtime shares the file for reading and writing with every other handle.
  const int fd = ::_wopen(system_path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  if (fd < 0) return last_os_error();
  return File(fd);
}

File::~File() {
  // A failed close of a descriptor only ever read from loses nothing.
  if (descriptor_ >= 0) ::_close(descriptor_);
}

error::Expected<FileStatus, IoError> File::status() const {
  struct __stat64 status;
  if (::_fstat64(descriptor_, &status) < 0) return last_os_error();
  return FileStatus{type_of(status.st_mode), static_cast<std::uint64_t>(status.st_size)};
}

error::Expected<std::size_t, IoError> File::read_some(char* out, std::size_t size) {
  // The runtime counts in int: a larger request is read in several calls by
  // the caller, which reads until it has what it asked for.
  const auto count = static_cast<unsigned>(std::min<std::size_t>(size, INT_MAX));
  const int got = ::_read(descriptor_, out, count);
  if (got < 0) return last_os_error();
  return static_cast<std::size_t>(got);
}

error::Expected<void, IoError> File::seek(std::int64_t offset, SeekFrom from) {
  if (::_lseeki64(descriptor_, offset, from == SeekFrom::start ? SEEK_SET : SEEK_CUR) < 0) return last_os_error();
  return {};
}

}  // namespace quellan::platform
