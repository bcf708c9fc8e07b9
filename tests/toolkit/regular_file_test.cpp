// Opening only regular files: whatever else sits under a name is refused at
// once, never waited on.
#include "toolkit/regular_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/temp_folder.h"
#include "toolkit/errors.h"
#include "toolkit/text_file.h"

namespace {

class RegularFileTest : public ::testing::Test {
protected:
  std::string At(const char* name) const { return folder_.File(name); }

  TempFolder folder_;
};

TEST_F(RegularFileTest, OpensARegularFileForBlockingReads) {
  std::ofstream(At("plain.txt")) << "abc";
  ASSERT_EQ(symlink(At("plain.txt").c_str(), At("link.txt").c_str()), 0);
  for (const char* name : {"plain.txt", "link.txt"}) {
    SCOPED_TRACE(name);
    std::string whyNot = "untouched";
    const int fd = OpenRegularFile(At(name), &whyNot);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
    EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
    char bytes[4] = {};
    EXPECT_EQ(read(fd, bytes, sizeof bytes), 3);
    EXPECT_STREQ(bytes, "abc");
    close(fd);
    EXPECT_TRUE(IsRegularFile(At(name)));
  }
}

TEST_F(RegularFileTest, RefusesEverythingElseAtOnce) {
  ASSERT_EQ(mkfifo(At("fifo").c_str(), 0600), 0);
  std::filesystem::create_directory(At("folder"));
  struct Case {
    std::string path;
    std::string whyNot;
  } const cases[] = {
      {At("fifo"), kNotRegularFileText},  // nobody writes: a blocking open would wait
      {"/dev/zero", kNotRegularFileText},
      {"/dev/null", kNotRegularFileText},
      {At("folder"), kNotRegularFileText},
      {At("absent"), "No such file or directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    std::string whyNot;
    EXPECT_EQ(OpenRegularFile(c.path, &whyNot), -1);
    EXPECT_EQ(whyNot, c.whyNot);
    EXPECT_EQ(OpenRegularFile(c.path), -1);  // the reason is optional
    EXPECT_FALSE(IsRegularFile(c.path));
  }
}

TEST_F(RegularFileTest, TextLinesOfAFifoAreUnreadable) {
  ASSERT_EQ(mkfifo(At("settings.ini").c_str(), 0600), 0);
  try {
    ReadTextLines(At("settings.ini"));
    ADD_FAILURE() << "read a FIFO as a text file";
  } catch (const EInOutError& error) {
    EXPECT_EQ(error.Message(), At("settings.ini") + ": not a regular file");
  }
}

}  // namespace
