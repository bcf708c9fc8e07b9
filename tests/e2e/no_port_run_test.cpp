// An unattended run that has no unit to download to says so in its log: no
// settings file (or one without its section) on a station with no USB
// adapter, or a settings file whose count leaves no channel in use. The run
// stays a failed one: no result file, and ended it exits with the signal's
// status, never 0.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "console/support/build_dir.h"
#include "e2e/support/unattended_program.h"
#include "link/wire.h"
#include "support/sim_unit_farm.h"
#include "support/temp_folder.h"
#include "support/unattended_job.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr size_t kUnits = 2;
constexpr auto kRunLimit = 40s;
constexpr const char* kNoPortText = "No serial port found or named in ConfigOvg.ini: download not started!";
constexpr const char* kNoUnitText = "No programmer unit found: download not started!";

// Tells when a file has been read and closed by anyone (the program's load of
// its job). Set up before the program starts.
class ReadCloseWatch {
public:
  explicit ReadCloseWatch(const std::string& path) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (fd_ >= 0) watching_ = inotify_add_watch(fd_, path.c_str(), IN_CLOSE_NOWRITE) >= 0;
  }
  ~ReadCloseWatch() {
    if (fd_ >= 0) close(fd_);
  }
  ReadCloseWatch(const ReadCloseWatch&) = delete;
  ReadCloseWatch& operator=(const ReadCloseWatch&) = delete;
  bool Watching() const { return watching_; }
  // False at the limit.
  bool WaitForClose(std::chrono::milliseconds limit) const {
    pollfd ready{fd_, POLLIN, 0};
    if (poll(&ready, 1, static_cast<int>(limit.count())) != 1) return false;
    alignas(inotify_event) char events[4096];
    return read(fd_, events, sizeof events) > 0;
  }

private:
  int fd_;
  bool watching_ = false;
};

struct SettingsCase {
  const char* name;
  // The settings file's lines, given the units' lines; none: no file.
  std::function<std::vector<std::string>(const std::vector<std::string>&)> settings;
  bool hidePorts;  // no USB adapter on the station
  const char* logSays;
};

class NoPortRunTest : public ::testing::Test {
protected:
  void SetUp() override {
    job = PrepareUnattendedJob(folder, TestBuildDir(), 34).path;
    farm = std::make_unique<SimUnitFarm>(kUnits);
  }
  void TearDown() override {
    program.reset();
    farm.reset();
  }
  void WriteSettings(const std::vector<std::string>& lines) const {
    std::ofstream out(folder + "ConfigOvg.ini", std::ios::binary | std::ios::trunc);
    for (const std::string& line : lines) out << line << "\r\n";
  }
  bool ADownloadStarted() const {
    for (size_t ch = 0; ch < kUnits; ++ch)
      for (const SimPacket& packet : farm->Unit(ch).Log())
        if (packet.Command() == kCmdOfflineInfo) return true;
    return false;
  }

  TempFolder programFolder{"orv_no_port_run_"};
  std::string folder = programFolder.Slashed();
  std::string job;
  std::unique_ptr<SimUnitFarm> farm;
  std::unique_ptr<UnattendedProgram> program;
};

TEST_F(NoPortRunTest, TheLogSaysSoAndTheRunFails) {
  if (!SerialPortsCanBeHidden() && SerialPortsListedHere())
    GTEST_SKIP() << "this machine lists serial ports and cannot hide them from the program";
  const SettingsCase cases[] = {
      {"no settings file, no adapter", nullptr, true, kNoPortText},
      {"settings without their section, no adapter",
       [](const std::vector<std::string>& lines) {
         return std::vector<std::string>{"OrvantGenBEM settings", "TOTDEV=2", "DEV1=" + lines[0], "DEV2=" + lines[1]};
       },
       true, kNoPortText},
      {"a count of no channel",
       [](const std::vector<std::string>& lines) {
         return std::vector<std::string>{"OrvantGenBEM settings", "[Connection]", "TOTDEV=0", "DEV1=" + lines[0]};
       },
       false, kNoUnitText},
  };
  for (const SettingsCase& c : cases) {
    SCOPED_TRACE(c.name);
    program.reset();
    fs::remove_all(folder + "Log");
    fs::remove(folder + "ConfigOvg.ini");
    if (c.settings) WriteSettings(c.settings(farm->SlavePaths()));
    const ReadCloseWatch jobRead(job);
    ASSERT_TRUE(jobRead.Watching());
    program = std::make_unique<UnattendedProgram>(folder, job, c.hidePorts ? [] {
      HideSerialPortsInChild();  // where it cannot, the machine lists no port anyway
      return true;
    } : std::function<bool()>());
    ASSERT_TRUE(program->Started());
    // The line follows the job's load in the same tick, before a signal is taken.
    ASSERT_TRUE(jobRead.WaitForClose(kRunLimit)) << "the job was never read";
    ASSERT_TRUE(program->Running()) << program->ErrorText();
    ASSERT_EQ(program->Signal(SIGTERM), 0);
    const std::optional<int> status = program->WaitForExit(kRunLimit);
    ASSERT_TRUE(status.has_value()) << "SIGTERM did not end the program";
    EXPECT_EQ(*status, 128 + SIGTERM);
    EXPECT_EQ(program->SavedLinesEndingWith(std::string(" ") + c.logSays), 1u);
    EXPECT_FALSE(ADownloadStarted());
    EXPECT_FALSE(fs::exists(folder + "ResDW.Txt"));
  }
}

}  // namespace
