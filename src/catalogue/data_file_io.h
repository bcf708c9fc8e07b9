#pragma once
// File access of the image and project formats: reading only regular files
// (opened without blocking, so a FIFO named as a data file never hangs the GUI
// thread) and writing whole files (WriteWholeFile, FileReplacement), which
// refuse a FIFO or device named as the target for the same reason. Every
// failure throws EInOutError with the path and the system's reason. Any
// thread; one object per file.

#include <cstddef>
#include <string>
#include <string_view>

#include "toolkit/file_replacement.h"
#include "toolkit/regular_file.h"

// Throws as RegularFileReader when `path` cannot be opened for reading or is
// no regular file: the check a load makes before it changes anything.
void RequireReadableFile(const std::string& path);

// The first `maxBytes` bytes of the regular file at `path` (all of it when
// shorter). Throws as RegularFileReader.
std::string ReadRegularFile(const std::string& path, size_t maxBytes);
