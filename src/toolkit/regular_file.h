#pragma once
// Opening a file that must be an ordinary file on disk: the settings file, the
// firmware image, data and project files. A FIFO, a device or a socket under
// that name is refused at once and never waited on: opening a FIFO that nobody
// writes, or reading a terminal, would hold the GUI thread without end.

#include <cstddef>
#include <string>

// The reason given for a name that is there but is no regular file.
inline constexpr const char* kNotRegularFileText = "not a regular file";

// Opens the regular file at `path` (links followed) for reading, without
// waiting: the open is non-blocking, the type is checked on the open
// descriptor, then reads are made blocking again as for any file. Returns the
// descriptor, close-on-exec, which the caller closes; -1 when the file cannot
// be opened or is no regular file, with `whyNot` (when given) set to the
// system's reason or kNotRegularFileText.
int OpenRegularFile(const std::string& path, std::string* whyNot = nullptr);

// Whether `path` (links followed) names a regular file; asks without opening.
bool IsRegularFile(const std::string& path);

// An open regular file, read in pieces; closed when destroyed.
class RegularFileReader {
public:
  // Throws EInOutError when `path` cannot be opened or is no regular file.
  explicit RegularFileReader(const std::string& path);
  ~RegularFileReader();
  RegularFileReader(const RegularFileReader&) = delete;
  RegularFileReader& operator=(const RegularFileReader&) = delete;

  // Reads up to `count` bytes into `into`; 0 at the end of the file. Throws
  // EInOutError when the read fails.
  size_t Read(char* into, size_t count);

private:
  std::string path_;
  int fd_;
};
