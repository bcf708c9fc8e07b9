#include "catalogue/data_file_kind.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct KindCase {
  const char* name;
  const char* path;
  DataFileKind kind;
};
void PrintTo(const KindCase& c, std::ostream* os) { *os << c.name; }

class DataFileKindTest : public ::testing::TestWithParam<KindCase> {};

TEST_P(DataFileKindTest, ChoosesTheReaderByTheNamesExtension) {
  EXPECT_EQ(DataFileKindOf(GetParam().path), GetParam().kind);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, DataFileKindTest,
    ::testing::Values(KindCase{"Hex", "/a/image.hex", DataFileKind::IntelHex},
                      KindCase{"HexMixedCase", "image.HeX", DataFileKind::IntelHex},
                      KindCase{"HexLonger", "image.HEXA", DataFileKind::Unsupported},
                      KindCase{"S19", "image.s19", DataFileKind::SRecord},
                      KindCase{"S19A", "image.S19A", DataFileKind::SRecord},
                      KindCase{"S10", "image.S10", DataFileKind::SRecord},
                      KindCase{"S1", "image.S1", DataFileKind::Unsupported},
                      KindCase{"S", "image.S", DataFileKind::Unsupported},
                      KindCase{"S28", "image.s28", DataFileKind::Unsupported},
                      KindCase{"S1Letter", "image.S1A", DataFileKind::Unsupported},
                      KindCase{"Bin", "image.bin", DataFileKind::Binary},
                      KindCase{"LastDotCounts", "image.hex.bin", DataFileKind::Binary},
                      KindCase{"NoExtension", "image", DataFileKind::Unsupported},
                      KindCase{"DotInFolderOnly", "/jobs.hex/image", DataFileKind::Unsupported},
                      KindCase{"Empty", "", DataFileKind::Unsupported}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DataFileNameTest, NameAndExtensionComeFromTheLastPathElement) {
  EXPECT_EQ(FileNameOf("/jobs/a.b/image.s19"), "image.s19");
  EXPECT_EQ(FileNameOf("image"), "image");
  EXPECT_EQ(FileNameOf("/jobs/"), "");
  EXPECT_EQ(DataFileExtension("/jobs/a.b/image.s19a"), ".S19A");
  EXPECT_EQ(DataFileExtension("/jobs/a.b/image"), "");
  EXPECT_EQ(DataFileExtension("image."), ".");
}

TEST(BinPlacementTest, ClearsTheLowFourBits) {
  EXPECT_EQ(BinPlacement(0x8009), 0x8000u);
  EXPECT_EQ(BinPlacement(0x800F), 0x8000u);
  EXPECT_EQ(BinPlacement(0x8010), 0x8010u);
  EXPECT_EQ(BinPlacement(0xFFFFFFFF), 0xFFFFFFF0u);
}

}  // namespace
