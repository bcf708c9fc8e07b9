// File -> Save Memory to File onto a FIFO, through the window's save command
// with the file dialog answered: a FIFO nobody reads once held the window in
// its open for good, and one whose reader took a few bytes and left ended the
// program by SIGPIPE. Each save is refused at once with the reason, and the
// FIFO stays as it was.
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <tuple>

#include "support/data_files_fixture.h"
#include "support/fifo_far_end.h"
#include "toolkit/regular_file.h"

namespace {

struct ImageFormat {
  const char* name;
  int filterEntry;  // of the save dialog, 1-based
};
void PrintTo(const ImageFormat& format, std::ostream* os) { *os << format.name; }

const ImageFormat kFormats[] = {{"Binary", 1}, {"IntelHex", 2}, {"SRecord", 3}};

class FifoSaveTest : public DataFilesTest,
                     public ::testing::WithParamInterface<std::tuple<ImageFormat, FifoReader>> {};

TEST_P(FifoSaveTest, IsRefusedAtOnceWithTheReasonAndTheFifoKept) {
  const auto& [format, reader] = GetParam();
  ChooseChip32K();
  std::memset(g.FlashImage, 0x5A, 0x8000);  // more than the far end's FIFO holds
  g.DataLoaded = 1;
  const std::string path = folder + "image.out";
  FifoFarEnd farEnd(path, reader);
  files.Choose(path, format.filterEntry);

  // What the window's error report would show: the handler's exception.
  std::string outcome = "saved";
  try {
    window->FileSaveBtnClick(nullptr);
  } catch (const EInOutError& e) {
    outcome = e.Message();
  }
  EXPECT_FALSE(farEnd.Finish()) << "the save waited on the FIFO until the test freed it";
  EXPECT_EQ(outcome, path + ": " + kNotRegularFileText);
  EXPECT_EQ(farEnd.BytesTaken(), 0u) << "the save wrote into the FIFO";
  struct stat st {};
  ASSERT_EQ(::lstat(path.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    EXPECT_FALSE(entry.path().filename().string().starts_with(".orv_save_")) << "left behind: " << entry.path();
}

INSTANTIATE_TEST_SUITE_P(Saves, FifoSaveTest,
                         ::testing::Combine(::testing::ValuesIn(kFormats),
                                            ::testing::Values(FifoReader::kNone, FifoReader::kLeavesAfterAFewBytes)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) == FifoReader::kNone ? "_NoReader"
                                                                                : "_ReaderThatLeavesEarly");
                         });

}  // namespace
