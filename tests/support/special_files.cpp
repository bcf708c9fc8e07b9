#include "support/special_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace {
std::runtime_error SystemFault(const std::string& what, int code) {
  return std::runtime_error(what + ": " + std::strerror(code));
}

// Writes `bytes` whole; false with errno set when a write fails.
bool WriteAll(int fd, const char* bytes, size_t count) {
  while (count > 0) {
    const ssize_t n = ::write(fd, bytes, count);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    bytes += n;
    count -= static_cast<size_t>(n);
  }
  return true;
}
}  // namespace

void MakeSparseFile(const std::string& path, uint64_t size, std::string_view head) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throw SystemFault(path, errno);
  const bool made = WriteAll(fd, head.data(), head.size()) && ::ftruncate(fd, static_cast<off_t>(size)) == 0;
  const int code = errno;
  ::close(fd);
  if (!made) throw SystemFault(path + " (sparse, " + std::to_string(size) + " bytes)", code);
}

std::string FileWhoseReadFailsWithEinval() {
  constexpr const char* kSysfsValue = "/sys/class/net/lo/speed";
  const int fd = ::open(kSysfsValue, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  char byte;
  const bool einval = ::read(fd, &byte, 1) < 0 && errno == EINVAL;
  ::close(fd);
  return einval ? kSysfsValue : std::string();
}
