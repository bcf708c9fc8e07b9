#include "toolkit/text_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "toolkit/errors.h"
#include "toolkit/file_replacement.h"
#include "toolkit/line_splitter.h"
#include "toolkit/regular_file.h"

namespace {
struct FdCloser {
  int fd;
  ~FdCloser() { ::close(fd); }
};
}  // namespace

void WriteTextLines(const std::string& path, const std::vector<std::string>& lines) {
  WriteTextLines(path, lines.size(), [&lines](size_t i) { return std::string_view(lines[i]); });
}

void WriteTextLines(const std::string& path, size_t count, const std::function<std::string_view(size_t)>& lineAt) {
  std::string text;
  for (size_t i = 0; i < count; ++i) {
    const std::string_view line = lineAt(i);
    text.append(line).append("\r\n");
  }
  WriteWholeFile(path, text);
}

std::vector<std::string> ReadTextLines(const std::string& path) {
  std::string whyNot;
  const int fd = OpenRegularFile(path, &whyNot);
  if (fd < 0) throw EInOutError(path, whyNot);
  const FdCloser closer{fd};
  std::vector<std::string> lines;
  SplitLines(
      [&](char* into, size_t count) {
        for (;;) {
          const ssize_t n = ::read(fd, into, count);
          if (n >= 0) return static_cast<size_t>(n);
          if (errno != EINTR) throw EInOutError(path, errno);
        }
      },
      [&lines](std::string_view line) {
        lines.emplace_back(line);
        return true;
      });
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
