// The unattended download as a production script runs it: the real program
// started as "OrvantGenBEM JOB.ptv OFF" offscreen, in a program folder of its
// own whose ConfigOvg.ini names simulated units on pseudo-terminals.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "console/support/build_dir.h"
#include "link/wire.h"
#include "support/sim_unit_farm.h"
#include "support/temp_folder.h"
#include "support/unattended_job.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

constexpr size_t kUnits = 4;
// The whole download of four units takes about a second; every test ends
// within ctest's 60 s.
constexpr auto kRunLimit = 40s;
constexpr auto kPoll = 20ms;

// The program started in its folder with the offscreen platform; killed at
// the end of the test if it is still running.
class ProgramRun {
public:
  ProgramRun(const std::string& folder, const std::vector<std::string>& arguments) {
    pid_ = fork();
    if (pid_ != 0) return;
    if (chdir(folder.c_str()) != 0) _exit(126);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::vector<std::string> all = {folder + "OrvantGenBEM"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : all) argv.push_back(argument.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  ~ProgramRun() {
    if (Running()) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  ProgramRun(const ProgramRun&) = delete;
  ProgramRun& operator=(const ProgramRun&) = delete;

  bool Started() const { return pid_ > 0; }
  int Signal(int signal) const { return kill(pid_, signal); }
  bool Running() {
    if (ended_ || pid_ <= 0) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_) return true;
    ended_ = true;
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return false;
  }
  // Waits for the program to end by itself; its exit status, nothing at the limit.
  std::optional<int> WaitForExit(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (Running()) {
      if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
      std::this_thread::sleep_for(kPoll);
    }
    return exitCode_;
  }

private:
  pid_t pid_ = -1;
  bool ended_ = false;
  int exitCode_ = -1;
};

class UnattendedRunTest : public ::testing::Test {
protected:
  void SetUp() override {
    // The program's folder is the one its executable lies in.
    fs::copy_file(TestBuildDir() + "/OrvantGenBEM", folder + "OrvantGenBEM");
    const UnattendedJob made = PrepareUnattendedJob(folder, TestBuildDir(), 13);
    job = made.path;
    image = made.image;
    farm = std::make_unique<SimUnitFarm>(kUnits);
    farm->WriteConfig(folder);
    // An earlier run's result, which this run must not leave standing.
    std::ofstream(folder + "ResDW.Txt") << "Download Success\r\n";
  }
  // The program goes before its units, and both before their folder.
  void TearDown() override {
    program.reset();
    farm.reset();
  }

  void Start(const std::string& project) {
    program = std::make_unique<ProgramRun>(folder, std::vector<std::string>{project, "OFF"});
    ASSERT_TRUE(program->Started());
  }
  bool ResultExists() const { return fs::exists(folder + "ResDW.Txt"); }
  bool TookTheJob(const SimUnit& unit) const { return unit.DownloadedFlash(0, kUnattendedChipBytes) == image; }
  // The off-line information packet opens every download.
  static bool DownloadStarted(const SimUnit& unit) {
    for (const SimPacket& packet : unit.Log())
      if (packet.Command() == kCmdOfflineInfo) return true;
    return false;
  }
  static bool Identified(const SimUnit& unit) {
    for (const SimPacket& packet : unit.Log())
      if (packet.IsIdentify()) return true;
    return false;
  }

  TempFolder programFolder{"orv_unattended_run_"};
  std::string folder = programFolder.Slashed();
  std::string job;
  Bytes image;
  std::unique_ptr<SimUnitFarm> farm;
  std::unique_ptr<ProgramRun> program;
};

TEST_F(UnattendedRunTest, DownloadsTheJobToEveryUnitWritesTheResultAndEnds) {
  Start(job);
  const std::optional<int> exitCode = program->WaitForExit(kRunLimit);
  ASSERT_TRUE(exitCode.has_value()) << "the program did not end by itself";
  EXPECT_EQ(*exitCode, 0);
  EXPECT_EQ(ReadBytes(folder + "ResDW.Txt"), (Bytes{'D', 'o', 'w', 'n', 'l', 'o', 'a', 'd', ' ', 'S', 'u', 'c', 'c',
                                                   'e', 's', 's', '\r', '\n'}));
  for (size_t ch = 0; ch < kUnits; ++ch) {
    EXPECT_TRUE(TookTheJob(farm->Unit(ch))) << "unit " << ch + 1;
    EXPECT_TRUE(farm->Unit(ch).OfflineInfo().has_value()) << "unit " << ch + 1;
  }
}

TEST_F(UnattendedRunTest, UnitThatStopsAnsweringKeepsTheProgramOpenWithoutAResult) {
  farm->Unit(1).AddFault(SilenceInTheDownload());
  Start(job);
  EXPECT_TRUE(farm->WaitForAll([&](const SimUnit& unit) { return &unit == &farm->Unit(1) || TookTheJob(unit); },
                               kRunLimit));
  EXPECT_FALSE(TookTheJob(farm->Unit(1)));
  // Three of four found units took the job: the run never ends by itself.
  EXPECT_FALSE(program->WaitForExit(2s).has_value());
  EXPECT_TRUE(program->Running());
  EXPECT_FALSE(ResultExists());
}

// A script that gives up on a run ends the program with SIGTERM: it closes
// as the window's own close does and keeps the run's window log.
TEST_F(UnattendedRunTest, SigtermEndsAWaitingRunAndSavesItsWindowLog) {
  farm->Unit(1).AddFault(SilenceInTheDownload());
  Start(job);
  ASSERT_TRUE(farm->WaitForAll([&](const SimUnit& unit) { return &unit == &farm->Unit(1) || TookTheJob(unit); },
                               kRunLimit));
  ASSERT_TRUE(program->Running());
  ASSERT_EQ(program->Signal(SIGTERM), 0);
  const std::optional<int> exitCode = program->WaitForExit(kRunLimit);
  ASSERT_TRUE(exitCode.has_value()) << "SIGTERM did not end the program";
  EXPECT_EQ(*exitCode, 0);
  std::vector<fs::path> logs;
  for (const auto& entry : fs::directory_iterator(folder + "Log")) logs.push_back(entry.path());
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(logs[0].filename().string().rfind("ORxBEM_", 0), 0u) << logs[0];
  EXPECT_GT(fs::file_size(logs[0]), 0u);
  EXPECT_FALSE(ResultExists());
}

TEST_F(UnattendedRunTest, UnitThatNeverAnswersTheSearchStartsNoDownload) {
  farm->Unit(2).SetSilent(true, true);
  Start(job);
  EXPECT_TRUE(farm->WaitForAll(Identified, kRunLimit));
  EXPECT_FALSE(program->WaitForExit(3s).has_value());
  for (size_t ch = 0; ch < kUnits; ++ch) EXPECT_FALSE(DownloadStarted(farm->Unit(ch))) << "unit " << ch + 1;
  EXPECT_FALSE(ResultExists());
}

TEST_F(UnattendedRunTest, DamagedProjectIsNeverDownloaded) {
  Bytes damaged = ReadBytes(job);
  ASSERT_GT(damaged.size(), 8000u);
  damaged[damaged.size() / 2] ^= 0x5A;  // inside the flash section: the sum no longer holds
  const std::string damagedJob = folder + "DAMAGED.ptv";
  WriteBytes(damagedJob, damaged);
  Start(damagedJob);
  EXPECT_TRUE(farm->WaitForAll(Identified, kRunLimit));
  EXPECT_FALSE(program->WaitForExit(3s).has_value());
  for (size_t ch = 0; ch < kUnits; ++ch) EXPECT_FALSE(DownloadStarted(farm->Unit(ch))) << "unit " << ch + 1;
  EXPECT_FALSE(ResultExists());
}

}  // namespace
