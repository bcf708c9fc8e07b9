#include "toolkit/program_folder.h"

#include <unistd.h>

#include <climits>

namespace {
std::string& Override() {
  static std::string folder;
  return folder;
}
}  // namespace

std::string ProgramFolder() {
  if (!Override().empty()) return Override();
  char path[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return "./";
  std::string exe(path, static_cast<size_t>(n));
  size_t slash = exe.rfind('/');
  return slash == std::string::npos ? "./" : exe.substr(0, slash + 1);
}

void SetProgramFolderForTest(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder.push_back('/');
  Override() = std::move(folder);
}
