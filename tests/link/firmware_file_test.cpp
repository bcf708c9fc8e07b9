// The firmware image under a name that is no regular file: never read, never
// waited on, and the image loaded before stays as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "link/firmware.h"
#include "shared/state.h"
#include "simunit/firmware_builder.h"
#include "support/temp_folder.h"

namespace {

TEST(FirmwareFile, AFifoOrADeviceUnderTheImageNameIsNotRead) {
  const TempFolder folder;
  const std::string image = folder.File("GenXBEM.FWR");
  const std::vector<uint8_t> body(4000, 0x5A);
  const std::vector<uint8_t> file = BuildFirmwareImage(body, "V1.2");
  std::ofstream(image, std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                                static_cast<std::streamsize>(file.size()));
  LoadFirmwareImage(image);
  ASSERT_EQ(g.ImageValid, 1);
  const std::vector<uint8_t> loaded(FirmwareImage, FirmwareImage + body.size());

  std::filesystem::remove(image);
  ASSERT_EQ(mkfifo(image.c_str(), 0600), 0);  // nobody writes: a blocking open would wait
  const std::string names[] = {image, "/dev/zero"};
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    g.ImageValid = 1;
    LoadFirmwareImage(name);
    EXPECT_EQ(g.ImageValid, 0);
    EXPECT_EQ(std::vector<uint8_t>(FirmwareImage, FirmwareImage + body.size()), loaded);
    EXPECT_EQ(FirmwareBodyLength, body.size());
  }
}

}  // namespace
