#include "toolkit/file_replacement.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

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

// `path` with the symbolic links of its last part followed, a dangling one
// too (its target is the file to create). A relative link is taken from the
// link's own folder, as the system takes it.
std::string LinkTargetOf(const std::string& path) {
  constexpr int kMaxLinkHops = 40;  // the system's own limit before ELOOP
  std::string at = path;
  std::string target(PATH_MAX, '\0');
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    const ssize_t n = ::readlink(at.c_str(), target.data(), target.size());
    // Not a link, or not there: this is the name to write. Any other fault
    // of the name shows when the temporary file is made or renamed.
    if (n < 0) return at;
    if (static_cast<size_t>(n) == target.size()) throw EInOutError(path, ENAMETOOLONG);
    const std::string_view next(target.data(), static_cast<size_t>(n));
    at = next.starts_with('/') ? std::string(next) : FolderOf(at) + std::string(next);
  }
  throw EInOutError(path, ELOOP);
}
}  // namespace

void WriteWholeFile(const std::string& path, std::string_view bytes) {
  // A device or FIFO under the name is refused, as a job save refuses it: a
  // FIFO nobody reads would hold the caller (the GUI thread) in its open for
  // good, and a terminal or a port could hold it in a write.
  FileReplacement(path).Commit(bytes);
}

FileReplacement::FileReplacement(const std::string& path) : path_(path), target_(LinkTargetOf(path)) {
  // Every refusal comes before anything is created, so a refused project save
  // has drawn nothing from the shared generator.
  struct stat old {};
  const bool exists = ::stat(target_.c_str(), &old) == 0;
  mode_t mode;
  if (exists) {
    if (S_ISDIR(old.st_mode)) throw EInOutError(path_, EISDIR);
    // Renaming over a device node or FIFO would delete it, not write to it.
    if (!S_ISREG(old.st_mode)) throw EInOutError(path_, kNotRegularFileText);
    // A rename asks only for the folder's permission; a write-protected file
    // stays protected, as when it was opened for writing.
    if (::access(target_.c_str(), W_OK) != 0) throw EInOutError(path_, errno);
    mode = old.st_mode & 07777;  // the saved file keeps the mode of the one it replaces
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  temporary_ = FolderOf(target_) + ".orv_save_XXXXXX";
  fd_ = ::mkstemp(temporary_.data());
  if (fd_ < 0) {
    const int error = errno;
    temporary_.clear();
    // Only a folder the user may not write leaves the in-place write: a full
    // disk, a quota, a read-only mount or a lack of descriptors would fail the
    // same write part way and leave the file short.
    if (!exists || (error != EACCES && error != EPERM)) throw EInOutError(path_, error);
    // A file the user may write in a folder the user may not: written in
    // place, as before saves were made whole. Opened now, emptied only at Commit.
    // Without waiting, and checked once open: a FIFO put under the name since
    // the check above must not hold the open either (the writes of a regular
    // file do not heed O_NONBLOCK).
    fd_ = ::open(target_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd_ < 0) throw EInOutError(path_, errno);
    struct stat opened {};
    if (::fstat(fd_, &opened) != 0 || !S_ISREG(opened.st_mode)) {
      Discard();
      throw EInOutError(path_, kNotRegularFileText);
    }
    return;
  }
  // mkstemp gives 0600.
  if (::fchmod(fd_, mode) != 0) {
    const int error = errno;
    Discard();
    throw EInOutError(path_, error);
  }
}

FileReplacement::~FileReplacement() {
  if (!committed_) Discard();
}

void FileReplacement::Discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  temporary_.clear();
}

void FileReplacement::Commit(std::string_view bytes) {
  const bool inPlace = temporary_.empty();
  if (inPlace && ::ftruncate(fd_, 0) != 0) throw EInOutError(path_, errno);
  WriteAllOrThrow(fd_, path_, bytes);
  if (::fsync(fd_) != 0) throw EInOutError(path_, errno);
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) throw EInOutError(path_, errno);
  if (!inPlace && ::rename(temporary_.c_str(), target_.c_str()) != 0) throw EInOutError(path_, errno);
  committed_ = true;
}
