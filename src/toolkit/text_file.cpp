#include "toolkit/text_file.h"

#include <sys/stat.h>


#include "toolkit/file_replacement.h"
#include "toolkit/line_splitter.h"
#include "toolkit/regular_file.h"

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
  RegularFileReader reader(path);
  std::vector<std::string> lines;
  SplitLines([&reader](char* into, size_t count) { return reader.Read(into, count); },
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
