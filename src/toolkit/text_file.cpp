#include "toolkit/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "toolkit/errors.h"
#include "toolkit/regular_file.h"

namespace {
struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Names tried for the file that is written beside its target.
constexpr unsigned kMaxTemporaryNames = 1000;

// The lines through `f`, flushed; false with errno when any of it failed.
bool PutLines(std::FILE* f, size_t count, const std::function<std::string_view(size_t)>& lineAt) {
  for (size_t i = 0; i < count; ++i) {
    const std::string_view line = lineAt(i);
    if (std::fwrite(line.data(), 1, line.size(), f) != line.size() || std::fwrite("\r\n", 1, 2, f) != 2)
      return false;
  }
  return std::fflush(f) == 0;
}

// What is written: the file a symbolic link leads to (or the link itself
// when it leads nowhere), else `path`.
std::string WrittenPath(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr), &std::free);
  return resolved ? std::string(resolved.get()) : path;
}

// A fresh file beside `target` ("<folder>/.<name>.<pid>.<n>.tmp"), created
// with the mode a plain create gives (0666 less the umask); -1 with errno
// when none could be made.
int CreateBeside(const std::string& target, std::string& temporary) {
  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  for (unsigned n = 0; n < kMaxTemporaryNames; ++n) {
    temporary = folder + "." + name + "." + std::to_string(::getpid()) + "." + std::to_string(n) + ".tmp";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

// A device or a FIFO under the name is written to as a stream, as before:
// putting a file in its place would remove it.
void WriteInPlace(const std::string& path, size_t count, const std::function<std::string_view(size_t)>& lineAt) {
  FilePtr f(std::fopen(path.c_str(), "wb"));
  if (!f) throw EInOutError(path, errno);
  if (!PutLines(f.get(), count, lineAt)) throw EInOutError(path, errno);
  if (std::fclose(f.release()) != 0) throw EInOutError(path, errno);
}

}  // namespace

void WriteTextLines(const std::string& path, const std::vector<std::string>& lines) {
  WriteTextLines(path, lines.size(), [&lines](size_t i) { return std::string_view(lines[i]); });
}

// Written beside the target, flushed to the disk and only then renamed over
// it: a full disk or an I/O error leaves the earlier file (or none) and
// nothing beside it, never a part.
void WriteTextLines(const std::string& path, size_t count, const std::function<std::string_view(size_t)>& lineAt) {
  const std::string target = WrittenPath(path);
  struct stat st;
  const bool exists = ::stat(target.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) return WriteInPlace(path, count, lineAt);
  std::string temporary;
  const int fd = CreateBeside(target, temporary);
  if (fd < 0) throw EInOutError(path, errno);
  FilePtr f(::fdopen(fd, "wb"));
  if (!f) {
    const int error = errno;
    ::close(fd);
    ::unlink(temporary.c_str());
    throw EInOutError(path, error);
  }
  // The file it replaces keeps its permissions.
  bool written = (!exists || ::fchmod(fd, st.st_mode & 07777) == 0) && PutLines(f.get(), count, lineAt) &&
                 ::fsync(fd) == 0;
  int error = errno;
  if (std::fclose(f.release()) != 0 && written) {
    written = false;
    error = errno;
  }
  if (written && ::rename(temporary.c_str(), target.c_str()) != 0) {
    written = false;
    error = errno;
  }
  if (!written) {
    ::unlink(temporary.c_str());
    throw EInOutError(path, error ? error : EIO);
  }
}

std::vector<std::string> ReadTextLines(const std::string& path) {
  std::string whyNot;
  const int fd = OpenRegularFile(path, &whyNot);
  if (fd < 0) throw EInOutError(path, whyNot);
  FilePtr f(::fdopen(fd, "rb"));
  if (!f) {
    const int error = errno;
    ::close(fd);
    throw EInOutError(path, error);
  }
  std::vector<std::string> lines;
  std::string current;
  bool pending = false;
  int c;
  while ((c = std::fgetc(f.get())) != EOF) {
    pending = true;
    if (c == '\n') {
      if (!current.empty() && current.back() == '\r') current.pop_back();
      lines.push_back(std::move(current));
      current.clear();
      pending = false;
    } else {
      current.push_back(static_cast<char>(c));
    }
  }
  if (std::ferror(f.get())) throw EInOutError(path, errno ? errno : EIO);
  if (pending) {
    if (!current.empty() && current.back() == '\r') current.pop_back();
    lines.push_back(std::move(current));
  }
  return lines;
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateDir(const std::string& path) {
  return ::mkdir(path.c_str(), 0777) == 0;
}
