#pragma once
// A file system that runs out of room, as a full disk does: a tmpfs of a
// given size mounted on a fresh folder, which Fill() then fills to the last
// byte. Mounting needs root (CAP_SYS_ADMIN); where it cannot be done,
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
  explicit SmallTmpfs(size_t bytes);
  ~SmallTmpfs();
  SmallTmpfs(const SmallTmpfs&) = delete;
  SmallTmpfs& operator=(const SmallTmpfs&) = delete;

  bool Mounted() const { return mounted_; }
  const std::string& WhyNot() const { return whyNot_; }
  // The mount point with a trailing '/'.
  std::string Slashed() const { return folder_.Slashed(); }
  // Writes the file "filler" until no byte more fits; false when the disk
  // did not end with "No space left on device".
  bool Fill() const;

private:
  TempFolder folder_{"orv_tmpfs_"};
  bool mounted_ = false;
  std::string whyNot_;
};
