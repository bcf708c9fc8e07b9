// The one text-file writer: a file it cannot write whole is never left part
// written, on a disk that is really full.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/small_tmpfs.h"
#include "support/temp_folder.h"
#include "toolkit/errors.h"
#include "toolkit/text_file.h"

namespace {

namespace fs = std::filesystem;

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// A fresh file and one that replaces an earlier one, on a full disk: nothing
// new is left (no empty file, nothing beside it), the earlier file is whole.
TEST(WriteTextLines, OnAFullDiskLeavesNoPartOfTheFile) {
  SmallTmpfs disk(1 << 20);
  if (!disk.Mounted()) GTEST_SKIP() << disk.WhyNot();
  const std::string folder = disk.Slashed();
  const std::string earlier = folder + "earlier.log";
  WriteTextLines(earlier, {"kept", "as it was"});
  ASSERT_TRUE(disk.Fill());
  const std::vector<std::string> lines(2000, "Download Success, a line long enough to need a page of its own");
  for (const std::string& path : {folder + "ResDW.Txt", earlier}) {
    SCOPED_TRACE(path);
    try {
      WriteTextLines(path, lines);
      ADD_FAILURE() << "wrote onto a full disk";
    } catch (const EInOutError& error) {
      EXPECT_EQ(error.Message(), path + ": " + std::strerror(ENOSPC));
    }
  }
  EXPECT_EQ(Names(folder), (std::vector<std::string>{"earlier.log", "filler"}));
  EXPECT_EQ(Bytes(earlier), "kept\r\nas it was\r\n");
}

// Where there is room it replaces the file whole, through a symbolic link to
// its target, keeping the permissions of the file replaced.
TEST(WriteTextLines, ReplacesTheFileThroughALinkAndKeepsItsMode) {
  TempFolder temp;
  const std::string target = temp.File("target.txt");
  const std::string link = temp.File("link.txt");
  WriteTextLines(target, {"old", "old", "old"});
  ASSERT_EQ(chmod(target.c_str(), 0640), 0);
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  WriteTextLines(link, {"new"});
  EXPECT_EQ(Bytes(target), "new\r\n");
  EXPECT_TRUE(fs::is_symlink(link));
  struct stat st {};
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(Names(temp.Path().string()), (std::vector<std::string>{"link.txt", "target.txt"}));
}

}  // namespace
