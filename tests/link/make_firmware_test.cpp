// make_firmware run as a user runs it: a separate process on real files. What
// it writes must load as the image it was asked for; what it refuses leaves
// no image behind.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "console/support/build_dir.h"
#include "link/firmware.h"
#include "shared/state.h"
#include "support/temp_folder.h"
#include "support/tool_run.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes PatternBody(size_t n) {
  Bytes body(n);
  for (size_t i = 0; i < n; ++i) body[i] = static_cast<uint8_t>(i * 13 + (i >> 7));
  return body;
}

class MakeFirmwareTest : public ::testing::Test {
 protected:
  // Every argument is passed single-quoted, so blanks and empty texts stay
  // arguments of their own.
  static ToolRun MakeFirmware(const std::vector<std::string>& arguments) {
    std::string command = TestBuildDir() + "/tools/make_firmware";
    for (const std::string& argument : arguments) command += " '" + argument + "'";
    return RunTool(command);
  }

  std::string WriteBody(const Bytes& body) {
    std::ofstream(body_, std::ios::binary)
        .write(reinterpret_cast<const char*>(body.data()), static_cast<std::streamsize>(body.size()));
    return body_;
  }

  static std::string Version() { return std::string(g.FirmwareVersion, strnlen(g.FirmwareVersion, sizeof g.FirmwareVersion)); }

  TempFolder folder_{"orv_mkfw_"};
  std::string body_ = folder_.File("body.bin");
  std::string image_ = folder_.File("GenXBEM.FWR");
};

struct ImageCase {
  const char* name;
  size_t bodyBytes;
  const char* version;
  const char* firmwareEnd;  // nullptr: the tool's default
  uint32_t expectedEnd;
};
void PrintTo(const ImageCase& c, std::ostream* os) { *os << c.name; }

const ImageCase kImageCases[] = {
    {"ShortVersionDefaultEnd", 9000, "V1.7", nullptr, 4096 + 9000 - 1},
    {"EightCharacterVersion", 2048, "V1.7.123", nullptr, 4096 + 2048 - 1},
    {"VAlone", 16, "V", nullptr, 4096 + 16 - 1},
    {"EveryPunctuationButComma", 100, "V!~-_.+", "0x8FFF", 36863},
    {"LargestBody", kFirmwareBodyLengthMax, "V9.9", nullptr, kFirmwareEndMax},
};

class MakeFirmwareImageTest : public MakeFirmwareTest, public ::testing::WithParamInterface<ImageCase> {};

TEST_P(MakeFirmwareImageTest, TheImageLoadsWithItsBodyVersionAndEnd) {
  const ImageCase& c = GetParam();
  const Bytes body = PatternBody(c.bodyBytes);
  std::vector<std::string> arguments = {WriteBody(body), c.version, image_};
  if (c.firmwareEnd) arguments.push_back(c.firmwareEnd);
  const ToolRun run = MakeFirmware(arguments);
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output, "");

  LoadFirmwareImage(image_);
  EXPECT_EQ(g.ImageValid, 1);
  EXPECT_EQ(Version(), c.version);
  EXPECT_EQ(FirmwareEnd, c.expectedEnd);
  EXPECT_EQ(FirmwareBodyLength, c.bodyBytes);
  EXPECT_EQ(Bytes(FirmwareImage, FirmwareImage + body.size()), body);
}

INSTANTIATE_TEST_SUITE_P(Images, MakeFirmwareImageTest, ::testing::ValuesIn(kImageCases),
                         [](const auto& info) { return std::string(info.param.name); });

enum class BodyKind { kFile, kEmpty, kTooLarge, kMissing, kFolder, kFifo };

struct RefusalCase {
  const char* name;
  BodyKind body;
  const char* version;
  const char* says;
};
void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

const RefusalCase kRefusalCases[] = {
    {"EmptyVersion", BodyKind::kFile, "", "does not begin with 'V'"},
    {"VersionWithoutV", BodyKind::kFile, "1.7", "does not begin with 'V'"},
    {"LowerCaseV", BodyKind::kFile, "v1.7", "does not begin with 'V'"},
    {"VersionCut", BodyKind::kFile, "V1.7.12345", "longer than 8"},
    {"NonAsciiVersion", BodyKind::kFile, "V1.7\xC3\xA9", "printable ASCII"},
    {"ControlCharacter", BodyKind::kFile, "V1.7\t", "printable ASCII"},
    {"BlankInVersion", BodyKind::kFile, "V1 7", "a blank"},
    {"CommaInVersion", BodyKind::kFile, "V1,7", "a comma"},
    // Header and key bytes alone would be sent and logged as an upgrade.
    {"EmptyBody", BodyKind::kEmpty, "V2.0", "body is empty"},
    {"BodyTooLarge", BodyKind::kTooLarge, "V1.7", "larger than the 61328 bytes"},
    {"MissingBody", BodyKind::kMissing, "V1.7", "No such file"},
    {"FolderAsBody", BodyKind::kFolder, "V1.7", "not a regular file"},
    // Nobody writes the FIFO: a blocking open would hang the tool.
    {"FifoAsBody", BodyKind::kFifo, "V1.7", "not a regular file"},
};

class MakeFirmwareRefusalTest : public MakeFirmwareTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(MakeFirmwareRefusalTest, SaysWhyAndWritesNoImage) {
  const RefusalCase& c = GetParam();
  switch (c.body) {
    case BodyKind::kFile: WriteBody(PatternBody(4000)); break;
    case BodyKind::kEmpty: WriteBody({}); break;
    case BodyKind::kTooLarge: WriteBody(PatternBody(kFirmwareBodyLengthMax + 1)); break;
    case BodyKind::kMissing: break;
    case BodyKind::kFolder: std::filesystem::create_directory(body_); break;
    case BodyKind::kFifo: ASSERT_EQ(mkfifo(body_.c_str(), 0600), 0); break;
  }
  const ToolRun run = MakeFirmware({body_, c.version, image_});
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_NE(run.output.find("make_firmware: "), std::string::npos) << run.output;
  EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
  EXPECT_FALSE(std::filesystem::exists(image_));
}

INSTANTIATE_TEST_SUITE_P(Refusals, MakeFirmwareRefusalTest, ::testing::ValuesIn(kRefusalCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MakeFirmwareTest, WrongArgumentsShowTheUsage) {
  WriteBody(PatternBody(100));
  const ToolRun tooFew = MakeFirmware({body_, "V1.0"});
  EXPECT_EQ(tooFew.status, 2);
  EXPECT_NE(tooFew.output.find("usage:"), std::string::npos) << tooFew.output;
  EXPECT_EQ(MakeFirmware({body_, "V1.0", image_, "0x8FFF", "extra"}).status, 2);
  for (const char* end : {"4095", "36864", "0x9000", "12ab", ""}) {
    const ToolRun run = MakeFirmware({body_, "V1.0", image_, end});
    EXPECT_EQ(run.status, 2) << end << ": " << run.output;
    EXPECT_NE(run.output.find("FIRMWARE_END"), std::string::npos) << run.output;
  }
  EXPECT_FALSE(std::filesystem::exists(image_));
}

}  // namespace
