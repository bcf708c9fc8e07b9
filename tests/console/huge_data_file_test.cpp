// Binary files of 4 GiB and more through the window's load command: the
// whole length counts, so such a file is larger than the chip as any other
// larger file is, not the few bytes (or none) above a multiple of 4 GiB.

#include <cstdint>
#include <numeric>
#include <string>
#include <vector>

#include "support/data_files_fixture.h"
#include "support/special_files.h"

namespace {

class HugeBinaryFileTest : public DataFilesTest, public ::testing::WithParamInterface<uint64_t> {};

TEST_P(HugeBinaryFileTest, IsReportedAsLargerThanTheChipAndTakesTheChipsWorth) {
  ChooseChip32K();
  const std::vector<uint8_t> head = Pattern(100, 3);
  const std::string path = folder + "huge.bin";
  MakeSparseFile(path, GetParam(), std::string(head.begin(), head.end()));
  files.Choose(path);
  window->FileOpenBtnClick(nullptr);
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"地址超出芯片有效数据范围！"});
  // The chunk that crosses the chip's 32 KB is taken whole.
  EXPECT_EQ(g.FileEnd, 32u * 1024 + 256);
  EXPECT_TRUE(FlashHolds(0, head));
  EXPECT_EQ(g.FileSum, std::accumulate(head.begin(), head.end(), 0u));
  EXPECT_EQ(g.DataLoaded, 1);
}

INSTANTIATE_TEST_SUITE_P(Sizes, HugeBinaryFileTest,
                         ::testing::Values(uint64_t{1} << 32, (uint64_t{1} << 32) + 100),
                         [](const auto& info) {
                           return info.param == uint64_t{1} << 32 ? std::string("Exactly4GiB")
                                                                  : std::string("FourGiBAnd100Bytes");
                         });

}  // namespace
