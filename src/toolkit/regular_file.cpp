#include "toolkit/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "toolkit/errors.h"

int OpenRegularFile(const std::string& path, std::string* whyNot) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    if (whyNot) *whyNot = std::strerror(errno);
    return -1;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    if (whyNot) *whyNot = kNotRegularFileText;
    return -1;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return fd;
}

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

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
