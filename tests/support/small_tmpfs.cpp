#include "support/small_tmpfs.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

SmallTmpfs::SmallTmpfs(size_t bytes, size_t inodes) {
  std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
  if (inodes != 0) options += ",nr_inodes=" + std::to_string(inodes);
  if (::mount("tmpfs", folder_.Path().c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0) {
    mounted_ = true;
    return;
  }
  whyNot_ = std::string("cannot mount a tmpfs (root only): ") + std::strerror(errno);
}

SmallTmpfs::~SmallTmpfs() {
  // Detached even while busy; its folder is then empty again for TempFolder.
  if (mounted_) ::umount2(folder_.Path().c_str(), MNT_DETACH);
}

bool SmallTmpfs::Fill(bool inodesToo) const {
  const int fd = ::open(folder_.File("filler").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const std::vector<char> chunk(64 * 1024, 'f');
  // Big pieces while they fit, then byte by byte into the last page.
  for (size_t piece : {chunk.size(), size_t{1}})
    while (::write(fd, chunk.data(), piece) > 0) {
    }
  const bool full = errno == ENOSPC;
  ::close(fd);
  if (!full || !inodesToo) return full;
  for (int n = 0;; ++n) {
    const int one = ::open(folder_.File(".fill_" + std::to_string(n)).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (one < 0) return errno == ENOSPC;
    ::close(one);
  }
}
