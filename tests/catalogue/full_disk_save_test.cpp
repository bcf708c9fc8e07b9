// Saves onto a file on a disk that is full: every writer the window's save
// handlers call and make_project refuse with the system's reason and leave
// the earlier file as it was, byte for byte. Without inodes no temporary file
// can be made beside the target; a save must not fall back to writing the
// target in place then, as it does in a folder the user may not write.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <tuple>

#include "support/savers.h"
#include "support/small_tmpfs.h"

namespace {

enum class Fullness { BlocksAndInodes, BlocksOnly };
void PrintTo(Fullness f, std::ostream* os) { *os << (f == Fullness::BlocksOnly ? "BlocksOnly" : "BlocksAndInodes"); }

class FullDiskSaveTest : public SaverFixture, public ::testing::WithParamInterface<std::tuple<Saver, Fullness>> {
 protected:
  void SetUp() override {
    SaverFixture::SetUp();
    if (!disk_.Mounted()) GTEST_SKIP() << disk_.WhyNot();
  }

  // As small as a job, with few inodes, so both run out.
  SmallTmpfs disk_{256 << 10, 32};
};

TEST_P(FullDiskSaveTest, RefusesWithTheSystemsReasonAndKeepsTheEarlierFile) {
  const auto& [saver, fullness] = GetParam();
  // A job of the size this chip's jobs have, whose bytes no save writes.
  std::string earlier(20100, '\0');
  for (size_t i = 0; i < earlier.size(); ++i) earlier[i] = static_cast<char>(i * 13 + 1);
  const std::string target = disk_.Slashed() + "job.file";
  std::ofstream(target, std::ios::binary) << earlier;
  ASSERT_TRUE(disk_.Fill(fullness == Fullness::BlocksAndInodes));

  std::string outcome = "saved";
  try {
    SaveWith(saver, target);
  } catch (const std::exception& e) {
    outcome = e.what();
  }
  EXPECT_NE(outcome.find(target + ": No space left on device"), std::string::npos) << outcome;
  EXPECT_TRUE(ReadFile(target) == earlier) << "the earlier file was changed: now " << ReadFile(target).size()
                                           << " bytes";
  for (const auto& entry : std::filesystem::directory_iterator(disk_.Slashed()))
    EXPECT_FALSE(entry.path().filename().string().starts_with(".orv_save_")) << "left behind: " << entry.path();
}

INSTANTIATE_TEST_SUITE_P(Savers, FullDiskSaveTest,
                         ::testing::Combine(::testing::ValuesIn(kSavers),
                                            ::testing::Values(Fullness::BlocksAndInodes, Fullness::BlocksOnly)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) == Fullness::BlocksOnly ? "_BlocksOnly" : "_NoInodesEither");
                         });

}  // namespace
