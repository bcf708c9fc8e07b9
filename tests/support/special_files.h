#pragma once
// Files that ordinary test data cannot stand for: a sparse file of any
// length (4 GiB and more in no disk space), a file whose read fails, and a
// small tmpfs with every block and inode used up.
//
//   MakeSparseFile(path, (uint64_t{1} << 32) + 100, "head");
//   FullTmpfs disk(folder / "disk");
//   if (!disk.Mounted()) GTEST_SKIP() << disk.WhyNot();

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

// Creates `path` of `size` bytes: `head` at the start, a hole after it.
// Throws std::runtime_error when the file cannot be made that long.
void MakeSparseFile(const std::string& path, uint64_t size, std::string_view head = {});

// The sysfs value that exists but whose read fails with EINVAL, as an
// attribute a device has no value for does; empty where this system has no
// such file.
std::string FileWhoseReadFailsWithEinval();

// A tmpfs of 256 KB and 32 inodes mounted at `mountPoint` (created when
// missing), unmounted when the object goes. Mounting needs root (or the
// right to mount); where it fails, Mounted() is false and WhyNot() says why.
class FullTmpfs {
public:
  explicit FullTmpfs(const std::filesystem::path& mountPoint);
  ~FullTmpfs();
  FullTmpfs(const FullTmpfs&) = delete;
  FullTmpfs& operator=(const FullTmpfs&) = delete;

  bool Mounted() const { return mounted_; }
  const std::string& WhyNot() const { return whyNot_; }

  // Uses up every data block, then, unless `keepInodes`, every inode, with
  // files under `.fill` names. Throws std::runtime_error when the disk does
  // not fill as a full disk does (a write or a create that fails otherwise).
  void Fill(bool keepInodes = false);

private:
  std::filesystem::path mountPoint_;
  bool mounted_ = false;
  std::string whyNot_;
};
