#pragma once
// A file system that runs out of room, as a full disk does: a tmpfs of a
// given size (and, when asked, a given number of inodes) mounted on a fresh
// folder, which Fill() then fills to the last byte and, when asked, the last
// inode. Mounting needs root (CAP_SYS_ADMIN); where it cannot be done,
// Mounted() is false and WhyNot() says why, so that a test skips with that
// reason. The mount is detached when the object goes, after whatever still
// uses it (a program running from it) is gone or not.
//
//   SmallTmpfs disk(4 << 20);
//   if (!disk.Mounted()) GTEST_SKIP() << disk.WhyNot();
//   ... write what the test needs ...
//   disk.Fill();

#include <cstddef>
#include <string>

#include "support/temp_folder.h"

class SmallTmpfs {
public:
  // `inodes` 0 leaves the number of inodes to the system's default.
  explicit SmallTmpfs(size_t bytes, size_t inodes = 0);
  ~SmallTmpfs();
  SmallTmpfs(const SmallTmpfs&) = delete;
  SmallTmpfs& operator=(const SmallTmpfs&) = delete;

  bool Mounted() const { return mounted_; }
  const std::string& WhyNot() const { return whyNot_; }
  // The mount point with a trailing '/'.
  std::string Slashed() const { return folder_.Slashed(); }
  // Writes the file "filler" until no byte more fits, then, with
  // `inodesToo`, creates empty files ".fill_<n>" until no more can be made;
  // false when the disk did not end with "No space left on device".
  bool Fill(bool inodesToo = false) const;

private:
  TempFolder folder_{"orv_tmpfs_"};
  bool mounted_ = false;
  std::string whyNot_;
};
