#include "catalogue/data_file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "toolkit/errors.h"
#include "toolkit/regular_file.h"

namespace {
void WriteAllOrThrow(int fd, const std::string& path, std::string_view bytes) {
  size_t put = 0;
  while (put < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + put, bytes.size() - put);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw EInOutError(path, errno);
    put += static_cast<size_t>(n);
  }
}

// The folder part of `path` with its slash, or "" for a bare name.
std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}
}  // namespace

RegularFileReader::RegularFileReader(const std::string& path) : path_(path) {
  std::string whyNot;
  fd_ = OpenRegularFile(path, &whyNot);
  if (fd_ >= 0) return;
  // A failed open leaves its errno in place, so the system's code travels on.
  if (whyNot == kNotRegularFileText) throw EInOutError(path, whyNot);
  throw EInOutError(path, errno);
}

RegularFileReader::~RegularFileReader() { ::close(fd_); }

size_t RegularFileReader::Read(char* into, size_t count) {
  for (;;) {
    const ssize_t n = ::read(fd_, into, count);
    if (n >= 0) return static_cast<size_t>(n);
    if (errno != EINTR) throw EInOutError(path_, errno);
  }
}

void RequireReadableFile(const std::string& path) { const RegularFileReader opened(path); }

std::string ReadRegularFile(const std::string& path, size_t maxBytes) {
  RegularFileReader reader(path);
  std::string bytes;
  constexpr size_t kPieceBytes = 1 << 16;
  while (bytes.size() < maxBytes) {
    const size_t at = bytes.size();
    const size_t want = std::min(kPieceBytes, maxBytes - at);
    bytes.resize(at + want);
    const size_t got = reader.Read(bytes.data() + at, want);
    bytes.resize(at + got);
    if (got == 0) break;
  }
  return bytes;
}

void WriteWholeFile(const std::string& path, std::string_view bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) throw EInOutError(path, errno);
  try {
    WriteAllOrThrow(fd, path, bytes);
  } catch (...) {
    ::close(fd);
    throw;
  }
  if (::close(fd) != 0) throw EInOutError(path, errno);
}

void ReplaceFileSafely(const std::string& path, std::string_view bytes) {
  std::string temporary = FolderOf(path) + ".orv_save_XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) throw EInOutError(path, errno);
  try {
    // mkstemp gives 0600; a saved job is an ordinary file of the user's.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    WriteAllOrThrow(fd, path, bytes);
    if (::fsync(fd) != 0) throw EInOutError(path, errno);
  } catch (...) {
    ::close(fd);
    ::unlink(temporary.c_str());
    throw;
  }
  if (::close(fd) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    throw EInOutError(path, error);
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    throw EInOutError(path, error);
  }
}
