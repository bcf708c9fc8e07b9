// An unattended run whose firmware image is there but gives no upgrade, as a
// station met it: units that report an older version than the image, and a
// GenXBEM.FWR that is empty, random bytes, a good image cut short, a good
// magic with a wrong sum, or one the user may not read. Such an image is
// reported as a missing one is: its path and the reason in the window log,
// and the box, in which the run waits until it is ended, downloading nothing.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "console/support/build_dir.h"
#include "e2e/support/unattended_program.h"
#include "simunit/firmware_builder.h"
#include "support/ordinary_user.h"
#include "support/sim_unit_farm.h"
#include "support/temp_folder.h"
#include "support/unattended_job.h"
#include "support/unusable_firmware.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

constexpr size_t kUnits = 2;
constexpr auto kRunLimit = 40s;
// Older than the image's, so that a usable image would upgrade them first.
constexpr const char* kUnitVersion = "V1.6";
constexpr const char* kImageVersion = "V2.0";

struct ImageCase {
  std::string name;
  Bytes bytes;
  std::string reason;
  bool ordinaryUser;
};

class UnusableFirmwareRunTest : public ::testing::Test {
protected:
  void SetUp() override {
    job = PrepareUnattendedJob(folder, TestBuildDir(), 21).path;
    farm = std::make_unique<SimUnitFarm>(kUnits);
    farm->ForEach([](SimUnit& unit) {
      SimIdentity identity = unit.Identity();
      identity.version = kUnitVersion;
      unit.SetIdentity(identity);
    });
    farm->WriteConfig(folder);
    // Open to the ordinary user, who must be able to make Log/ and read the job.
    fs::permissions(folder, fs::perms::all);
  }
  void TearDown() override {
    program.reset();
    farm.reset();
  }
  // The units were never asked: neither identified nor sent a job.
  bool UnitsUntouched() const {
    for (size_t ch = 0; ch < kUnits; ++ch)
      if (!farm->Unit(ch).Log().empty()) return false;
    return true;
  }

  TempFolder programFolder{"orv_unusable_fw_"};
  std::string folder = programFolder.Slashed();
  std::string image = folder + "GenXBEM.FWR";
  std::string job;
  std::unique_ptr<SimUnitFarm> farm;
  std::unique_ptr<UnattendedProgram> program;
};

TEST_F(UnusableFirmwareRunTest, TheRunSaysWhyAndDownloadsNothing) {
  const Bytes good = BuildFirmwareImage(Bytes(3000, 0x3C), kImageVersion);
  std::vector<ImageCase> cases;
  for (UnusableFirmwareCase& c : UnusableFirmwareImages(good))
    cases.push_back({c.name, std::move(c.bytes), std::move(c.reason), false});
  cases.push_back({"mode 000, ordinary user", good, "Permission denied", true});
  for (const ImageCase& c : cases) {
    SCOPED_TRACE(c.name);
    program.reset();
    fs::remove_all(folder + "Log");
    WriteBytes(image, c.bytes);
    fs::permissions(image, c.ordinaryUser ? fs::perms::none : fs::perms::owner_read | fs::perms::owner_write);
    program = std::make_unique<UnattendedProgram>(folder, job, c.ordinaryUser ? BecomeOrdinaryUser
                                                                               : std::function<bool()>());
    ASSERT_TRUE(program->Started());
    const std::string box = UnusableFirmwareBoxText(image, c.reason);
    ASSERT_TRUE(program->WaitForError("OrvantGenBEM: " + box + "\n", kRunLimit)) << program->ErrorText();
    // It waits in the box, as for a missing image, before any unit is asked.
    EXPECT_TRUE(program->Running());
    EXPECT_TRUE(UnitsUntouched());
    ASSERT_EQ(program->Signal(SIGTERM), 0);
    const std::optional<int> status = program->WaitForExit(kRunLimit);
    ASSERT_TRUE(status.has_value()) << "SIGTERM did not end the program";
    EXPECT_EQ(*status, 128 + SIGTERM);
    EXPECT_EQ(program->SavedLinesEndingWith(" " + UnusableFirmwareLogText(image, c.reason)), 1u);
    EXPECT_EQ(program->SavedLinesEndingWith(" " + box), 1u);
    EXPECT_TRUE(UnitsUntouched());
    EXPECT_FALSE(fs::exists(folder + "ResDW.Txt"));
  }
}

}  // namespace
