#pragma once
// A fresh folder under the test's temporary directory (GoogleTest's TempDir,
// which honours TEST_TMPDIR and TMPDIR), removed with everything in it when
// the object goes. Throws std::runtime_error when none can be made.
//
//   TempFolder folder;                  // e.g. /tmp/orv_a1B2c3/
//   WriteFile(folder.File("x.bin"), bytes);

#include <filesystem>
#include <string>
#include <string_view>

class TempFolder {
public:
  explicit TempFolder(std::string_view prefix = "orv_");
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  // The folder with a trailing '/', the form the program folder takes.
  std::string Slashed() const { return path_.string() + "/"; }
  // The path of name inside the folder (nothing is created).
  std::string File(std::string_view name) const { return (path_ / name).string(); }

private:
  std::filesystem::path path_;
};
