#include "support/special_files.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

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

FullTmpfs::FullTmpfs(const std::filesystem::path& mountPoint) : mountPoint_(mountPoint) {
  std::error_code error;
  std::filesystem::create_directories(mountPoint_, error);
  if (error) {
    whyNot_ = "cannot make " + mountPoint_.string() + ": " + error.message();
    return;
  }
  if (::mount("orv_full_disk", mountPoint_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=256k,nr_inodes=32,mode=0777") !=
      0) {
    whyNot_ = "cannot mount a tmpfs on " + mountPoint_.string() + ": " + std::strerror(errno);
    return;
  }
  mounted_ = true;
}

FullTmpfs::~FullTmpfs() {
  if (mounted_) ::umount2(mountPoint_.c_str(), MNT_DETACH);
}

void FullTmpfs::Fill(bool keepInodes) {
  const std::string blocks = (mountPoint_ / ".fill_blocks").string();
  const int fd = ::open(blocks.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) throw SystemFault(blocks, errno);
  const std::vector<char> piece(4096, 'f');
  while (WriteAll(fd, piece.data(), piece.size())) {
  }
  const int code = errno;
  ::close(fd);
  if (code != ENOSPC) throw SystemFault(blocks, code);
  if (keepInodes) return;
  for (int i = 0;; ++i) {
    const std::string name = (mountPoint_ / (".fill_inode" + std::to_string(i))).string();
    const int one = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (one < 0) {
      if (errno != ENOSPC) throw SystemFault(name, errno);
      return;
    }
    ::close(one);
  }
}
