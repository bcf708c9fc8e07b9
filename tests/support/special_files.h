#pragma once
// Files that ordinary test data cannot stand for: a sparse file of any
// length (4 GiB and more in no disk space) and a file whose read fails. A
// full disk is SmallTmpfs (small_tmpfs.h).
//
//   MakeSparseFile(path, (uint64_t{1} << 32) + 100, "head");

#include <cstdint>
#include <string>
#include <string_view>

// Creates `path` of `size` bytes: `head` at the start, a hole after it.
// Throws std::runtime_error when the file cannot be made that long.
void MakeSparseFile(const std::string& path, uint64_t size, std::string_view head = {});

// The sysfs value that exists but whose read fails with EINVAL, as an
// attribute a device has no value for does; empty where this system has no
// such file.
std::string FileWhoseReadFailsWithEinval();
