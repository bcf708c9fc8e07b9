#include "toolkit/text_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>

#include "toolkit/errors.h"
#include "toolkit/file_replacement.h"
#include "toolkit/regular_file.h"

namespace {
struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;
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
