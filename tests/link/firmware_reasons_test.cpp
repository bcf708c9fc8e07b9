// Why a firmware image file that is there gives no upgrade: the reason the
// loader returns, which the console reports with the image's path.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "link/firmware.h"
#include "shared/state.h"
#include "simunit/firmware_builder.h"
#include "support/ordinary_user.h"
#include "support/temp_folder.h"
#include "support/unusable_firmware.h"
#include "toolkit/le_bytes.h"

namespace {

using Bytes = std::vector<uint8_t>;

void WriteImage(const std::string& path, const Bytes& image) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
}

Bytes GoodImage() { return BuildFirmwareImage(Bytes(3000, 0x5A), "V2.0"); }

class FirmwareReasonTest : public ::testing::Test {
protected:
  TempFolder folder{"orv_fw_reason_"};
  std::string path = folder.File("GenXBEM.FWR");
};

TEST_F(FirmwareReasonTest, AValidImageGivesNoReason) {
  WriteImage(path, GoodImage());
  EXPECT_EQ(LoadFirmwareImage(path), "");
  EXPECT_EQ(g.ImageValid, 1);
}

// The files a station met, and the header limits the loader enforces: each
// gives no valid image and says why.
TEST_F(FirmwareReasonTest, EachUnusableImageSaysWhy) {
  const Bytes good = GoodImage();
  std::vector<UnusableFirmwareCase> cases = UnusableFirmwareImages(good);
  const uint16_t key = GetLe16(good.data() + kFirmwareKeyWordOffset);
  Bytes longBody = good;
  PutLe16(longBody.data() + kFirmwareBodyLengthOffset, static_cast<uint16_t>((kFirmwareBodyLengthMax + 1) ^ key));
  Bytes oversized = good;
  oversized.resize(kFirmwareImageBytes + 1);
  cases.push_back({"header cut short", Bytes(good.begin(), good.begin() + 20), "cut short in its header (20 bytes)"});
  cases.push_back({"firmware end below the base", BuildFirmwareImage(Bytes(64, 1), "V2.0", {.firmwareEnd = 4095}),
                   "firmware end 0x0FFF outside 0x1000..0x8FFF"});
  cases.push_back({"body length past the buffer", longBody, "body length 61329 over 61328 bytes"});
  cases.push_back({"larger than the buffer", oversized, "larger than 65536 bytes"});
  for (const UnusableFirmwareCase& c : cases) {
    SCOPED_TRACE(c.name);
    WriteImage(path, good);
    ASSERT_EQ(LoadFirmwareImage(path), "");
    WriteImage(path, c.bytes);
    EXPECT_EQ(LoadFirmwareImage(path), c.reason);
    EXPECT_EQ(g.ImageValid, 0);
  }
}

// Root reads any file; an ordinary user meets the mode.
TEST_F(FirmwareReasonTest, AnImageTheUserMayNotReadGivesTheSystemsReason) {
  WriteImage(path, GoodImage());
  ASSERT_EQ(chmod(path.c_str(), 0), 0);
  std::filesystem::permissions(folder.Path(), std::filesystem::perms::all);
  const ChildRun run = RunAsOrdinaryUser([&] {
    const std::string reason = LoadFirmwareImage(path);
    return reason + (g.ImageValid == 0 ? "; no valid image" : "; valid");
  });
  ASSERT_EQ(run.status, 0) << run.report;
  EXPECT_EQ(run.report, "Permission denied; no valid image");
}

}  // namespace
