#include "catalogue/data_file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "toolkit/errors.h"
#include "toolkit/regular_file.h"

void RequireReadableFile(const std::string& path) { const RegularFileReader opened(path); }

std::string ReadRegularFile(const std::string& path, size_t maxBytes) {
  RegularFileReader reader(path);
  std::string bytes;
  constexpr size_t kPieceBytes = 1 << 16;
  while (bytes.size() < maxBytes) {
    const size_t at = bytes.size();
    const size_t want = std::min(kPieceBytes, maxBytes - at);
    bytes.resize(at + want);
    const size_t got = reader.Read(bytes.data() + at, want);
    bytes.resize(at + got);
    if (got == 0) break;
  }
  return bytes;
}
