// make_project run as a user runs it: a separate process on real files.

#include <gtest/gtest.h>

#include <random>
#include <ostream>
#include <string>

#include "catalogue/checksums.h"
#include "catalogue/chip_catalogue.h"
#include "catalogue/intel_hex.h"
#include "catalogue/project_file.h"
#include "catalogue/srecord.h"
#include "console/support/build_dir.h"
#include "link/framing.h"
#include "support/image_file_fixture.h"
#include "support/project_support.h"
#include "support/special_files.h"
#include "support/tool_run.h"

namespace {

class MakeProjectTest : public ImageFileTest {
 protected:
  static ToolRun MakeProject(const std::string& arguments) {
    return RunTool(TestBuildDir() + "/tools/make_project " + arguments);
  }

  // A data file of random bytes at `first`..`last` (the rest 0xFF), written
  // by our own writer of the extension's format.
  std::string DataFile(const std::string& name, uint32_t first, uint32_t last) {
    std::mt19937 random(first ^ last);
    std::fill(std::begin(g.FlashImage), std::end(g.FlashImage), uint8_t{0xFF});
    for (uint32_t a = first; a <= last; ++a) g.FlashImage[a] = static_cast<uint8_t>(random());
    const std::string path = PathOf(name);
    if (name.ends_with(".s19"))
      WriteSRecFile(path, g.FlashImage, kFlashImageBytes, 0, first, last);
    else
      WriteHexFile(path, g.FlashImage, kFlashImageBytes, 0, first, last);
    return path;
  }

  static bool Exists(const std::string& path) { return std::filesystem::exists(path); }

  StandInWindow window_;
};

struct JobCase {
  const char* name;
  const char* chip;
  const char* dataName;
  uint32_t first, last;
};
void PrintTo(const JobCase& c, std::ostream* os) { *os << c.name; }

const JobCase kJobCases[] = {
    {"HexOnA16KChip", "FU6811N", "app.hex", 0x0000, 0x2345},
    {"HexOnA32KChip", "FU6813P", "app.HEX", 0x0100, 0x7FFF},
    {"SRecordOnA32KChip", "FU6866Q1", "app.s19", 0x0010, 0x5000},
};

class MakeProjectJobTest : public MakeProjectTest, public ::testing::WithParamInterface<JobCase> {};

TEST_P(MakeProjectJobTest, JobLoadsAsTheDataFileWithThatChipWould) {
  const JobCase& c = GetParam();
  const std::string data = DataFile(c.dataName, c.first, c.last);
  const std::string job = PathOf("job.ptv");
  const ToolRun run = MakeProject(std::string(c.chip) + " '" + data + "' '" + job + "'");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output, "Created Tesmar Project File : " + job + "\n");

  // The console's way: choose the chip, blank a fresh image, read the file,
  // compute the checksums over the flash range.
  ResetState();
  ResetChipSelection();
  SelChipSeries = kFortiorSeries;
  SelChipIndex = static_cast<uint8_t>(std::find(ChipNameList.begin(), ChipNameList.end(), c.chip) - ChipNameList.begin());
  SetChipParams(c.chip);
  CommitChipSelection(c.chip);
  std::fill(std::begin(g.FlashImage), std::end(g.FlashImage), static_cast<uint8_t>(g.FillZero ? 0x00 : 0xFF));
  if (std::string(c.dataName).ends_with(".s19"))
    LoadSRecFile(data, g.FileStart, g.FileEnd, g.FileSum);
  else
    LoadHexFile(data, g.FileStart, g.FileEnd, g.FileSum);
  const uint16_t crc16 = Crc16Range(g.FlashImage, g.FlashStart, g.FlashEnd);
  const uint16_t packetCrc = PacketCrcRange(g.FlashImage, g.FlashStart, g.FlashEnd);
  const uint32_t sum32 = SumRange(g.FlashImage, g.FlashStart, g.FlashEnd);
  const JobSnapshot console = JobSnapshot::Take();
  const uint32_t fileStart = g.FileStart, fileEnd = g.FileEnd, fileSum = g.FileSum;

  ResetState();
  g.OrvantBEMxPrg = &window_;
  ASSERT_EQ(LoadProjectFile(job), kProjectLoaded);
  ApplyProjectCfg();
  const JobSnapshot loaded = JobSnapshot::Take();
  const size_t flashBytes = size_t{console.RomSizeKB} * 1024;
  EXPECT_TRUE(std::equal(console.flash.begin(), console.flash.begin() + flashBytes, loaded.flash.begin()));
  EXPECT_EQ(g.ImageCrc16, crc16);
  EXPECT_EQ(g.ImagePacketCrc, packetCrc);
  EXPECT_EQ(g.ImageSum32, sum32);
  EXPECT_EQ(g.ImageSum16, static_cast<uint16_t>(sum32));
  EXPECT_EQ(g.FileStart, fileStart);
  EXPECT_EQ(g.FileEnd, fileEnd);
  EXPECT_EQ(g.FileSum, fileSum);
  EXPECT_EQ(g.ChipName.substr(0, g.ChipName.find('\0')), c.chip);
  EXPECT_EQ(g.DataFileName.substr(0, g.DataFileName.find('\0')), c.dataName);
  EXPECT_EQ(g.ChipSeries, console.ChipSeries);
  EXPECT_EQ(g.ChipType, console.ChipType);
  EXPECT_EQ(g.ChipIndex, console.ChipIndex);
  EXPECT_EQ(g.RomSizeKB, console.RomSizeKB);
  EXPECT_EQ(g.PageSize, console.PageSize);
  EXPECT_EQ(g.PageCount, console.PageCount);
  EXPECT_EQ(g.FlashStart, console.FlashStart);
  EXPECT_EQ(g.FlashEnd, console.FlashEnd);
  EXPECT_EQ(g.EepSize, console.EepSize);
  EXPECT_EQ(g.ChipModelA, console.controls[6]);
  EXPECT_EQ(g.ChipModelB, console.controls[12]);
  EXPECT_EQ(g.ControlByte14, console.controls[13]);
  // The option settings the window first shows.
  EXPECT_EQ(g.InterfaceFlags, 0x40);
  EXPECT_EQ(g.ProgSpeed, 10);
  EXPECT_EQ(g.AutoDetect, 15);
  EXPECT_EQ(g.ChipInDelay, 16);
  EXPECT_EQ(g.MaxProgramCount, -1);
  EXPECT_EQ(g.SnAddress, 0x0000FFF0u);
}

INSTANTIATE_TEST_SUITE_P(Jobs, MakeProjectJobTest, ::testing::ValuesIn(kJobCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MakeProjectTest, BinaryGoesToItsOffset) {
  std::string bytes(0x100, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i);
  const std::string data = WriteFile("app.bin", bytes);
  const std::string job = PathOf("job.ptv");
  const ToolRun run = MakeProject("FU6811N '" + data + "' '" + job + "' 0x1009");
  ASSERT_EQ(run.status, 0) << run.output;
  ResetState();
  ASSERT_EQ(LoadProjectFile(job), kProjectLoaded);
  EXPECT_EQ(g.FlashImage[0x1000], 0x00);
  EXPECT_EQ(g.FlashImage[0x10FF], 0xFF);
  EXPECT_EQ(g.FlashImage[0x1001], 0x01);
  EXPECT_EQ(g.FileEnd, 0x100u);  // a byte count after a binary load
}

struct FailureCase {
  const char* name;
  const char* chip;
  const char* dataName;  // created unless it starts with "missing"
  const char* dataText;
  const char* says;
};
void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

const FailureCase kFailureCases[] = {
    {"UnknownChip", "XX1234", "app.hex", ":00000001FF\r\n", "unknown chip"},
    {"MissingDataFile", "FU6811N", "missing.hex", "", "No such file"},
    {"UnknownExtension", "FU6811N", "app.txt", ":00000001FF\r\n", "not a .hex"},
    {"RecordOutsideTheChip", "FU6811N", "app.hex", ":0140000011AE\r\n:00000001FF\r\n", "超出芯片范围"},
    {"RecordRunningPastTheChip", "FU6811N", "app.s19", "S1053FFF112289\r\n", "past the end"},
    {"FaultyLine", "FU6811N", "app.hex", ":0100000011EF\r\n", "Error=4"},
    {"NoData", "FU6811N", "app.hex", ":00000001FF\r\n", "no data"},
    {"EmptyHex", "FU6811N", "empty.hex", "", "holds no data"},
    {"SRecordWithoutDataRecord", "FU6811N", "app.s19", "S00600004844521B\r\nS9030000FC\r\n", "holds no data"},
    {"EmptySRecord", "FU6811N", "empty.s19", "", "holds no data"},
    {"EmptyBinary", "FU6811N", "empty.bin", "", "holds no data"},
    {"BinaryLargerThanTheChip", "FU6811N", "big.bin", nullptr, "地址超出芯片有效数据范围"},
};

class MakeProjectFailureTest : public MakeProjectTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(MakeProjectFailureTest, SaysWhyAndWritesNothing) {
  const FailureCase& c = GetParam();
  std::string data = PathOf(c.dataName);
  if (!std::string(c.dataName).starts_with("missing"))
    data = WriteFile(c.dataName, c.dataText ? std::string(c.dataText) : std::string(20000, 'x'));
  const std::string job = WriteFile("job.ptv", "earlier job");
  const ToolRun run = MakeProject(std::string(c.chip) + " '" + data + "' '" + job + "'");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
  EXPECT_EQ(ReadFile(job), "earlier job");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_), std::filesystem::directory_iterator()),
            std::string(c.dataName).starts_with("missing") ? 1 : 2);
}

INSTANTIATE_TEST_SUITE_P(Failures, MakeProjectFailureTest, ::testing::ValuesIn(kFailureCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A binary file's whole length counts: one of 4 GiB or more is larger than
// the chip as any other is, not the few bytes (or none) above 4 GiB.
TEST_F(MakeProjectTest, BinaryOfFourGibibytesOrMoreIsLargerThanTheChip) {
  const std::string job = WriteFile("job.ptv", "earlier job");
  for (const uint64_t size : {uint64_t{1} << 32, (uint64_t{1} << 32) + 100}) {
    SCOPED_TRACE(size);
    const std::string data = PathOf("huge.bin");
    MakeSparseFile(data, size, "head");
    const ToolRun run = MakeProject("FU6811N '" + data + "' '" + job + "'");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "make_project: " + data + ": 地址超出芯片有效数据范围！\n");
    EXPECT_EQ(ReadFile(job), "earlier job");
  }
}

// A data file whose read fails makes no job, and says why as the system does.
TEST_F(MakeProjectTest, ReadThatFailsGivesTheSystemsReasonAndNoJob) {
  const std::string failing = FileWhoseReadFailsWithEinval();
  if (failing.empty()) GTEST_SKIP() << "no file here whose read fails with EINVAL";
  const std::string job = PathOf("job.ptv");
  for (const char* name : {"app.bin", "app.hex", "app.s19"}) {
    SCOPED_TRACE(name);
    const std::string data = PathOf(name);
    std::filesystem::create_symlink(failing, data);
    const ToolRun run = MakeProject("FU6811N '" + data + "' '" + job + "'");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "make_project: " + data + ": Invalid argument\n");
    EXPECT_FALSE(Exists(job));
  }
}

TEST_F(MakeProjectTest, WrongArgumentsShowTheUsage) {
  const ToolRun run = MakeProject("FU6811N");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.output.find("usage:"), std::string::npos);
  EXPECT_EQ(MakeProject("FU6811N a.bin b.ptv zz").status, 2);
}

TEST_F(MakeProjectTest, OffsetBeyondThirtyTwoBitsIsRefusedNotCut) {
  const std::string data = WriteFile("app.bin", std::string(0x10, '\x5A'));
  const std::string job = PathOf("job.ptv");
  for (const char* offset : {"0x100001000", "-16"}) {
    const ToolRun run = MakeProject("FU6811N '" + data + "' '" + job + "' " + offset);
    EXPECT_EQ(run.status, 2) << offset << ": " << run.output;
    EXPECT_NE(run.output.find("BIN_OFFSET"), std::string::npos) << run.output;
    EXPECT_FALSE(Exists(job)) << offset;
  }
}

}  // namespace
