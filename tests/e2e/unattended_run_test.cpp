// The unattended download as a production script runs it: the real program
// started as "OrvantGenBEM JOB.ptv OFF" offscreen, in a program folder of its
// own whose ConfigOvg.ini names simulated units on pseudo-terminals.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ptrace.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "console/support/build_dir.h"
#include "e2e/support/program_group.h"
#include "link/wire.h"
#include "simunit/connection_file.h"
#include "simunit/firmware_builder.h"
#include "support/child_signals.h"
#include "support/ordinary_user.h"
#include "support/sim_unit_farm.h"
#include "support/small_tmpfs.h"
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

// The program of the folder started as a script starts it (see ProgramGroup).
// A launcher (such as {"timeout", "120"}) goes before the program, as in a
// script; signals and the exit status are then the launcher's.
class ProgramRun : public ProgramGroup {
public:
  ProgramRun(const std::string& folder, const std::vector<std::string>& arguments,
             const std::vector<std::string>& launcher = {}, int errorTo = -1,
             const std::function<bool()>& inChild = {})
      : ProgramGroup(folder, CommandLine(folder, arguments, launcher), errorTo, inChild) {}

private:
  static std::vector<std::string> CommandLine(const std::string& folder, const std::vector<std::string>& arguments,
                                              const std::vector<std::string>& launcher) {
    std::vector<std::string> all = launcher;
    all.push_back(folder + "OrvantGenBEM");
    all.insert(all.end(), arguments.begin(), arguments.end());
    return all;
  }
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
    disk.reset();
  }

  // Its standard error goes to a file beside the folder (ErrorText).
  void Start(const std::string& project, const std::function<bool()>& inChild = {}) {
    program = std::make_unique<ProgramRun>(folder, std::vector<std::string>{project, "OFF"},
                                           std::vector<std::string>{}, ErrorFile(), inChild);
    ASSERT_TRUE(program->Started());
  }
  int ErrorFile() {
    if (!errorFile_) {
      const std::string path = ErrorPath();
      errorFile_ = std::make_unique<FileDescriptor>(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    }
    return errorFile_->fd;
  }
  // What the program wrote to its standard error so far.
  std::string ErrorText() const {
    std::ifstream in(ErrorPath(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // Not in the program folder, which a test may fill up.
  std::string ErrorPath() const { return errorFolder.File("stderr.txt"); }
  // Waits until standard error holds the text; false at the limit.
  bool WaitForError(const std::string& text, std::chrono::milliseconds limit = kRunLimit) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (ErrorText().find(text) == std::string::npos)
      if (std::chrono::steady_clock::now() >= deadline) return false;
      else std::this_thread::sleep_for(kPoll);
    return true;
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
  // A run that stays open in its download: unit 2 falls silent in it, the
  // others take the job. Returns once every unit has begun its download.
  void StartAWaitingRun(const std::vector<std::string>& launcher = {}, int errorTo = -1,
                        const std::function<bool()>& inChild = {}) {
    farm->Unit(1).AddFault(SilenceInTheDownload());
    program = std::make_unique<ProgramRun>(folder, std::vector<std::string>{job, "OFF"}, launcher,
                                           errorTo >= 0 ? errorTo : ErrorFile(), inChild);
    ASSERT_TRUE(program->Started());
    ASSERT_TRUE(farm->WaitForAll(DownloadStarted, kRunLimit)) << "the download did not start on every unit";
  }
  // The lines of each window log saved in Log/.
  std::vector<std::vector<std::string>> SavedLogs() const {
    std::vector<std::vector<std::string>> logs;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder + "Log", error)) {
      std::ifstream in(entry.path());
      std::vector<std::string>& lines = logs.emplace_back();
      for (std::string line; std::getline(in, line);) lines.push_back(line);
    }
    return logs;
  }
  // Whether the program still holds a unit's port open.
  bool HoldsAPort(pid_t pid) const {
    const std::vector<std::string> ports = farm->SlavePaths();
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
      std::error_code unreadable;
      const fs::path target = fs::read_symlink(entry.path(), unreadable);
      for (const std::string& port : ports)
        if (!unreadable && target == port) return true;
    }
    return false;
  }

  // Whether a line of a saved window log holds the text.
  bool SavedLogSays(const std::string& text) const {
    for (const auto& lines : SavedLogs())
      for (const std::string& line : lines)
        if (line.find(text) != std::string::npos) return true;
    return false;
  }
  // For the message of a run that did not end: closes it, so that its window
  // log is saved, and gives that log, its standard error and what each unit
  // holds.
  std::string WhereTheRunStands() {
    program->Signal(SIGTERM);
    program->WaitForExit(kRunLimit);
    std::string said = "standard error:\n" + ErrorText() + "window log:\n";
    for (const auto& lines : SavedLogs())
      for (const std::string& line : lines) said += line + "\n";
    for (size_t ch = 0; ch < farm->Size(); ++ch)
      said += "unit " + std::to_string(ch + 1) + ": " + farm->Unit(ch).Identity().version +
              (TookTheJob(farm->Unit(ch)) ? ", took the job\n" : ", no job\n");
    return said;
  }
  // Ends a run that stays open, so that its window log is saved.
  void EndIt() {
    ASSERT_TRUE(program->Running());
    ASSERT_EQ(program->Signal(SIGTERM), 0);
    ASSERT_TRUE(program->WaitForExit(kRunLimit).has_value()) << "SIGTERM did not end the program";
  }

  struct FileDescriptor {
    explicit FileDescriptor(int opened) : fd(opened) {}
    ~FileDescriptor() {
      if (fd >= 0) close(fd);
    }
    int fd;
  };

  TempFolder programFolder{"orv_unattended_run_"};
  TempFolder errorFolder{"orv_unattended_stderr_"};
  std::string folder = programFolder.Slashed();
  std::string job;
  Bytes image;
  std::unique_ptr<SimUnitFarm> farm;
  std::unique_ptr<ProgramRun> program;
  std::unique_ptr<FileDescriptor> errorFile_;
  std::unique_ptr<SmallTmpfs> disk;
};

// Whether the bit of the signal is set in a mask line ("SigIgn:", "SigCgt:")
// of /proc/<pid>/status.
bool SignalInMask(pid_t pid, const std::string& mask, int signalNumber) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind(mask, 0) == 0) return (std::stoull(line.substr(mask.size()), nullptr, 16) >> (signalNumber - 1)) & 1;
  return false;
}

// Whether a file the process has mapped has the text in its path.
bool MapsHold(pid_t pid, const std::string& text) {
  std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
  for (std::string line; std::getline(maps, line);)
    if (line.find(text) != std::string::npos) return true;
  return false;
}

// How many lines of the saved logs hold the text.
size_t LinesSaying(const std::vector<std::vector<std::string>>& logs, const std::string& text) {
  size_t lines = 0;
  for (const auto& log : logs) lines += std::count_if(log.begin(), log.end(), [&](const std::string& line) {
    return line.find(text) != std::string::npos;
  });
  return lines;
}

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

// Eight units older than the folder's image: all are upgraded at the first
// search, and one falls silent in its upgrade. Its time-out ends that upgrade,
// the seven are searched again, the eighth is upgraded once more, and every
// unit gets the job.
TEST_F(UnattendedRunTest, UnitSilentMidUpgradeDoesNotHoldTheOthersFromTheJob) {
  constexpr size_t kGang = 8;
  constexpr size_t kSilent = 3;
  farm = std::make_unique<SimUnitFarm>(kGang);
  farm->WriteConfig(folder);
  WriteBytes(folder + "GenXBEM.FWR", BuildFirmwareImage(std::vector<uint8_t>(3000, 0x5A), "V1.1"));
  farm->Unit(kSilent).AddFault({.kind = SimFaultKind::kSilence, .command = kCmdFirmwareBlock});
  Start(job);
  const std::optional<int> exitCode = program->WaitForExit(kRunLimit);
  ASSERT_TRUE(exitCode.has_value()) << "the program did not end by itself\n" << WhereTheRunStands();
  EXPECT_EQ(*exitCode, 0);
  EXPECT_TRUE(ResultExists());
  for (size_t ch = 0; ch < kGang; ++ch) {
    EXPECT_TRUE(TookTheJob(farm->Unit(ch))) << "unit " << ch + 1;
    EXPECT_EQ(farm->Unit(ch).Identity().version, "V1.1") << "unit " << ch + 1;
  }
  EXPECT_TRUE(SavedLogSays("C4: Firmware Upgrade Failed!"));
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
  // Closed cleanly, and a failed run all the same: 128 + SIGTERM.
  EXPECT_EQ(program->EndSignal(), 0);
  EXPECT_EQ(*exitCode, 128 + SIGTERM);
  std::vector<fs::path> logs;
  for (const auto& entry : fs::directory_iterator(folder + "Log")) logs.push_back(entry.path());
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(logs[0].filename().string().rfind("ORxBEM_", 0), 0u) << logs[0];
  EXPECT_GT(fs::file_size(logs[0]), 0u);
  EXPECT_FALSE(ResultExists());
}

// A script's own limit, as the README runs it: GNU timeout, itself sent
// SIGTERM by the script's caller, hands the signal on to the program and then
// to its process group, microseconds apart. The copies are one request, so
// every run closes as the window's own close does. Before copies were told
// apart, the second killed the program in more than half of such runs.
TEST_F(UnattendedRunTest, TimeoutSentSigtermClosesTheRunCleanlyEveryTime) {
  constexpr int kRuns = 10;
  for (int run = 1; run <= kRuns; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    program.reset();
    fs::remove_all(folder + "Log");
    farm = std::make_unique<SimUnitFarm>(kUnits);
    farm->WriteConfig(folder);
    ASSERT_NO_FATAL_FAILURE(StartAWaitingRun({"timeout", "120"}));
    ASSERT_EQ(program->Signal(SIGTERM), 0);
    const std::optional<int> exitCode = program->WaitForExit(kRunLimit);
    ASSERT_TRUE(exitCode.has_value()) << "still running after SIGTERM";
    // timeout ends as its program did: by the program's signal when it was killed.
    ASSERT_EQ(program->EndSignal(), 0) << "the program was ended by signal " << program->EndSignal();
    ASSERT_EQ(*exitCode, 128 + SIGTERM);
    const auto logs = SavedLogs();
    ASSERT_EQ(logs.size(), 1u) << "no window log saved";
    EXPECT_GT(logs[0].size(), 6u);
    EXPECT_FALSE(ResultExists());
  }
}

// The close of a run that nobody watches never waits on a box: the window log
// cannot be saved ("Log" is a file, not a folder), the program says so on
// standard error and ends.
TEST_F(UnattendedRunTest, SigtermCloseThatCannotSaveTheLogSaysSoOnStandardErrorAndEnds) {
  std::ofstream(folder + "Log") << "not a folder";
  ASSERT_NO_FATAL_FAILURE(StartAWaitingRun());
  ASSERT_EQ(program->Signal(SIGTERM), 0);
  const auto signalled = std::chrono::steady_clock::now();
  const std::optional<int> exitCode = program->WaitForExit(kRunLimit);
  ASSERT_TRUE(exitCode.has_value()) << "the close waits: " << ErrorText();
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - signalled);
  RecordProperty("close_ms", std::to_string(took.count()));
  EXPECT_EQ(*exitCode, 128 + SIGTERM);
  const std::string said = ErrorText();
  EXPECT_NE(said.find("OrvantGenBEM: Write Log File error! " + folder + "Log/ORxBEM_"), std::string::npos) << said;
  EXPECT_NE(said.find(std::string(".log: ") + std::strerror(ENOTDIR) + "\n"), std::string::npos) << said;
  EXPECT_FALSE(ResultExists());
}

// A true second signal ends a held close at once. The close is held in its
// report to a standard error that nobody reads (a pipe left full), after it
// has closed the ports; a copy of the signal within the second leaves it
// there, the same signal 1.5 s after the first ends the program.
TEST_F(UnattendedRunTest, SecondSignalAfterASecondEndsAHeldCloseAtOnce) {
  std::ofstream(folder + "Log") << "not a folder";
  int pipeEnds[2];
  ASSERT_EQ(pipe2(pipeEnds, O_CLOEXEC), 0);
  const FileDescriptor unread(pipeEnds[0]), errorTo(pipeEnds[1]);
  ASSERT_NO_FATAL_FAILURE(StartAWaitingRun({}, errorTo.fd));
  // Filled up only now: the start-up may have its own say there. Through an
  // opening of its own, so that the program's end stays blocking.
  const FileDescriptor filler(open(("/proc/self/fd/" + std::to_string(errorTo.fd)).c_str(),
                                   O_WRONLY | O_NONBLOCK | O_CLOEXEC));
  ASSERT_GE(filler.fd, 0) << std::strerror(errno);
  const std::string page(4096, 'x');
  while (write(filler.fd, page.data(), page.size()) > 0) {
  }
  while (write(filler.fd, "x", 1) > 0) {  // the last page's last bytes too
  }
  ASSERT_EQ(errno, EAGAIN);
  ASSERT_EQ(program->Signal(SIGTERM), 0);
  const auto first = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(50ms);
  ASSERT_EQ(program->Signal(SIGTERM), 0);  // a copy
  const auto portsLimit = std::chrono::steady_clock::now() + kRunLimit;
  while (HoldsAPort(program->Pid()) && std::chrono::steady_clock::now() < portsLimit)
    std::this_thread::sleep_for(kPoll);
  ASSERT_FALSE(HoldsAPort(program->Pid())) << "the close did not close the ports";
  // The ports closed after the first signal was taken; the second comes more
  // than a second after that too, however late the first was taken.
  std::this_thread::sleep_until(std::max(first + 1500ms, std::chrono::steady_clock::now() + 1100ms));
  ASSERT_TRUE(program->Running()) << "the copy ended the program, or the close was not held";
  ASSERT_EQ(program->Signal(SIGTERM), 0);
  ASSERT_TRUE(program->WaitForExit(kRunLimit).has_value()) << "the second signal did not end the held close";
  EXPECT_EQ(program->EndSignal(), SIGTERM);
  EXPECT_FALSE(ResultExists());
}

// An earlier run's "Download Success" that cannot be deleted (a folder under
// its name, which not even root can unlink) would speak for this run: nothing
// is downloaded, the program stays open and its log says why.
TEST_F(UnattendedRunTest, OldResultThatCannotBeDeletedStartsNoDownload) {
  fs::remove(folder + "ResDW.Txt");
  fs::create_directory(folder + "ResDW.Txt");
  std::ofstream(folder + "ResDW.Txt/Download Success") << "an earlier run's";
  Start(job);
  EXPECT_TRUE(farm->WaitForAll(Identified, kRunLimit));
  EXPECT_FALSE(program->WaitForExit(3s).has_value());
  for (size_t ch = 0; ch < kUnits; ++ch) EXPECT_FALSE(DownloadStarted(farm->Unit(ch))) << "unit " << ch + 1;
  ASSERT_EQ(program->Signal(SIGTERM), 0);
  ASSERT_TRUE(program->WaitForExit(kRunLimit).has_value());
  const auto logs = SavedLogs();
  ASSERT_EQ(logs.size(), 1u);
  const std::string why = folder + "ResDW.Txt of an earlier run could not be deleted: " + std::strerror(EISDIR);
  EXPECT_TRUE(std::any_of(logs[0].begin(), logs[0].end(),
                          [&](const std::string& line) { return line.find(why) != std::string::npos; }))
      << why;
  EXPECT_TRUE(fs::exists(folder + "ResDW.Txt/Download Success"));
}

// Jobs that no load can read: nothing is downloaded, the program stays open,
// and the window log it saves when it is ended says why. A folder is no file,
// so it is reported missing, in a box whose text also reaches the log and
// standard error; the others fail in the load, as a damaged job does.
TEST_F(UnattendedRunTest, JobThatCannotBeReadSaysWhyInTheSavedLog) {
  const std::string fifo = folder + "FIFO.ptv";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string jobFolder = folder + "FOLDER.ptv";
  fs::create_directory(jobFolder);
  const std::string notLoaded = " did not load: download not started!";
  struct Case {
    const char* name;
    std::string job;
    std::vector<std::string> logSays;
    std::string errorSays;  // empty: nothing is asked
  } cases[] = {
      {"a FIFO", fifo, {fifo + ": not a regular file", "Project file of " + fifo + notLoaded}, ""},
      {"a device", "/dev/null", {"/dev/null: not a regular file", "Project file of /dev/null" + notLoaded}, ""},
      {"a folder", jobFolder, {"File of " + jobFolder + " is not found!"},
       "OrvantGenBEM: File of " + jobFolder + " is not found!\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    program.reset();
    fs::remove_all(folder + "Log");
    errorFile_.reset();
    farm = std::make_unique<SimUnitFarm>(kUnits);
    farm->WriteConfig(folder);
    Start(c.job);
    ASSERT_TRUE(farm->WaitForAll(Identified, kRunLimit));
    EXPECT_FALSE(program->WaitForExit(3s).has_value());
    for (size_t ch = 0; ch < kUnits; ++ch) EXPECT_FALSE(DownloadStarted(farm->Unit(ch))) << "unit " << ch + 1;
    ASSERT_NO_FATAL_FAILURE(EndIt());
    // Once each: a box whose text was just logged is not logged again.
    for (const std::string& text : c.logSays) EXPECT_EQ(LinesSaying(SavedLogs(), text), 1u) << text;
    if (!c.errorSays.empty()) {
      EXPECT_NE(ErrorText().find(c.errorSays), std::string::npos) << ErrorText();
    }
  }
}

// A port of the settings file that is not there: the search stops at it with
// a box nobody closes; its text reaches standard error and the saved log.
TEST_F(UnattendedRunTest, PortThatIsNotThereSaysWhyInTheSavedLogAndOnStandardError) {
  std::vector<std::string> ports = farm->SlavePaths();
  const std::string gone = folder + "ttyGone";
  ports.push_back(gone);
  WriteConnectionConfig(folder, ports);
  Start(job);
  const std::string why = "Error opening serial port:" + gone;
  const auto limit = std::chrono::steady_clock::now() + kRunLimit;
  while (ErrorText().find(why) == std::string::npos && std::chrono::steady_clock::now() < limit)
    std::this_thread::sleep_for(kPoll);
  EXPECT_NE(ErrorText().find("OrvantGenBEM: " + why + "\n"), std::string::npos) << ErrorText();
  ASSERT_NO_FATAL_FAILURE(EndIt());
  EXPECT_TRUE(SavedLogSays(why));
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

// Every way a run can end short of its result, measured on the program
// itself: closed by a signal it exits 128 + the signal's number (its close is
// clean: it exits, its log is saved); timeout --preserve-status, sent SIGTERM
// or at its own limit, hands that status on. Before, every one exited 0.
TEST_F(UnattendedRunTest, RunEndedShortOfItsResultExitsWithTheSignalsStatus) {
  struct Case {
    const char* name;
    int signalNumber;  // sent to the launcher or the program; 0: the launcher's own limit ends it
    std::vector<std::string> launcher;
    bool unitSilentInTheSearch;  // else a unit falls silent in the download
  } cases[] = {
      {"SIGTERM", SIGTERM, {}, false},
      {"SIGINT", SIGINT, {}, false},
      {"SIGHUP", SIGHUP, {}, false},
      {"SIGTERM, a unit that never answers", SIGTERM, {}, true},
      {"timeout --preserve-status sent SIGTERM", SIGTERM, {"timeout", "--preserve-status", "120"}, false},
      {"timeout --preserve-status 4 at its limit", 0, {"timeout", "--preserve-status", "4"}, false},
  };
  std::string statuses;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    program.reset();
    fs::remove_all(folder + "Log");
    farm = std::make_unique<SimUnitFarm>(kUnits);
    farm->WriteConfig(folder);
    std::ofstream(folder + "ResDW.Txt") << "Download Success\r\n";
    if (c.unitSilentInTheSearch) {
      farm->Unit(2).SetSilent(true, true);
      program = std::make_unique<ProgramRun>(folder, std::vector<std::string>{job, "OFF"}, c.launcher, ErrorFile());
      ASSERT_TRUE(farm->WaitForAll(Identified, kRunLimit));
    } else {
      ASSERT_NO_FATAL_FAILURE(StartAWaitingRun(c.launcher));
    }
    if (c.signalNumber != 0) {
      ASSERT_EQ(program->Signal(c.signalNumber), 0);
    }
    const std::optional<int> exitCode = program->WaitForExit(kRunLimit);
    ASSERT_TRUE(exitCode.has_value()) << "still running";
    EXPECT_EQ(program->EndSignal(), 0) << "killed by signal " << program->EndSignal();
    EXPECT_EQ(*exitCode, 128 + (c.signalNumber != 0 ? c.signalNumber : SIGTERM));
    statuses += std::string(c.name) + ": " + std::to_string(*exitCode) + "; ";
    EXPECT_EQ(SavedLogs().size(), 1u);
    EXPECT_FALSE(ResultExists());
  }
  RecordProperty("exit_statuses", statuses);
}

// An earlier run's "Download Success" is gone before anything can fail,
// wait or show a box: a settings file that is a FIFO or that an ordinary
// user may not read, a firmware image whose box waits for good (a SIGKILL
// there leaves no old result either). The box's text is saved in the log.
TEST_F(UnattendedRunTest, OldResultGoesBeforeAnythingCanHoldTheRun) {
  const std::string settings = folder + "ConfigOvg.ini";
  struct Case {
    const char* name;
    std::function<void()> prepare;
    bool ordinaryUser;
    std::string boxSays;
    bool killed;  // by SIGKILL while the box waits, else closed by SIGTERM
  } cases[] = {
      {"settings file a FIFO", [&] { ASSERT_EQ(mkfifo(settings.c_str(), 0666), 0); }, false,
       settings + ": not a regular file", false},
      {"settings file a FIFO, ordinary user", [&] { ASSERT_EQ(mkfifo(settings.c_str(), 0666), 0); }, true,
       settings + ": not a regular file", false},
      {"settings file of mode 000, ordinary user", [&] { ASSERT_EQ(chmod(settings.c_str(), 0), 0); }, true,
       settings + ": " + std::strerror(EACCES), false},
      {"firmware image missing", [&] { fs::remove(folder + "GenXBEM.FWR"); }, false,
       "文件\"" + folder + "GenXBEM.FWR\"没有找到，请确认！", true},
  };
  // Open to the ordinary user, who must be able to delete the old result.
  fs::permissions(folder, fs::perms::all);
  const Bytes firmware = ReadBytes(folder + "GenXBEM.FWR");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    program.reset();
    errorFile_.reset();
    fs::remove_all(folder + "Log");
    fs::remove(settings);  // a FIFO there would hold the write
    farm->WriteConfig(folder);
    if (std::string(c.name).find("FIFO") != std::string::npos) fs::remove(settings);
    WriteBytes(folder + "GenXBEM.FWR", firmware);
    std::ofstream(folder + "ResDW.Txt") << "Download Success\r\n";
    ASSERT_NO_FATAL_FAILURE(c.prepare());
    Start(job, c.ordinaryUser ? std::function<bool()>(BecomeOrdinaryUser) : std::function<bool()>());
    ASSERT_TRUE(WaitForError("OrvantGenBEM: " + c.boxSays + "\n")) << ErrorText();
    EXPECT_FALSE(ResultExists());
    ASSERT_TRUE(program->Running());
    if (c.killed) {
      ASSERT_EQ(program->Signal(SIGKILL), 0);
      ASSERT_TRUE(program->WaitForExit(kRunLimit).has_value());
      EXPECT_FALSE(ResultExists());
      continue;
    }
    ASSERT_NO_FATAL_FAILURE(EndIt());
    EXPECT_EQ(program->EndSignal(), 0);
    EXPECT_EQ(LinesSaying(SavedLogs(), c.boxSays), 1u);
  }
}

// The program, traced from its exec on (it asked for that in its child, with
// PTRACE_TRACEME), followed from one of its system calls to the next until
// its SIGTERM handler is in place, which is also the moment a test can catch
// it in, however loaded the machine. Then the signal is sent and the program
// let go; the signal waits for it. Whether the window system's platform
// plugin was mapped by then, or nothing when the handler never came.
std::optional<bool> SignalAtTheHandlersArrival(pid_t pid, int signalNumber) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFSTOPPED(status)) return std::nullopt;  // its exec
  if (ptrace(PTRACE_SETOPTIONS, pid, nullptr, PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL) != 0) return std::nullopt;
  int pass = 0;  // a signal of its own it stopped for, handed on
  const auto deadline = std::chrono::steady_clock::now() + kRunLimit;
  while (!SignalInMask(pid, "SigCgt:", signalNumber)) {
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    if (ptrace(PTRACE_SYSCALL, pid, nullptr, pass) != 0) return std::nullopt;
    if (waitpid(pid, &status, 0) != pid || !WIFSTOPPED(status)) return std::nullopt;
    pass = WSTOPSIG(status) == (SIGTRAP | 0x80) ? 0 : WSTOPSIG(status);
  }
  const bool mapped = MapsHold(pid, "libqoffscreen");
  kill(pid, signalNumber);
  ptrace(PTRACE_DETACH, pid, nullptr, pass);
  return mapped;
}

// A signal while the program is still starting, before its window exists,
// closes it like any other: the handlers are in place before the window
// system is loaded (its platform plugin mapped), long before the first file
// is touched. Before, they came only after the window was made, and a signal
// in the program's first 10 to 20 ms killed it by the default action. The
// test catches each run at the moment its handler comes, so that each run
// shows the order, whatever the load.
TEST_F(UnattendedRunTest, SignalWhileTheProgramStartsClosesTheRun) {
  constexpr int kRuns = 5;
  int handlersFirst = 0;
  for (int run = 1; run <= kRuns; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    program.reset();
    fs::remove_all(folder + "Log");
    std::ofstream(folder + "ResDW.Txt") << "Download Success\r\n";
    Start(job, [] { return ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) == 0; });
    const std::optional<bool> pluginFirst = SignalAtTheHandlersArrival(program->Pid(), SIGTERM);
    ASSERT_TRUE(pluginFirst.has_value()) << "no SIGTERM handler";
    EXPECT_FALSE(*pluginFirst) << "the window system came before the handlers";
    if (!*pluginFirst) ++handlersFirst;
    const std::optional<int> exitCode = program->WaitForExit(kRunLimit);
    ASSERT_TRUE(exitCode.has_value()) << "still running";
    ASSERT_EQ(program->EndSignal(), 0) << "killed by the signal's default action";
    EXPECT_EQ(*exitCode, 128 + SIGTERM);
    EXPECT_FALSE(ResultExists());
  }
  EXPECT_GT(handlersFirst, 0) << "the handlers never came before the window system";
}

// Started as nohup starts it (SIGHUP ignored), or as a shell starts a
// background job (SIGINT ignored), the program keeps that signal ignored and
// goes on when it comes; SIGTERM still closes it.
TEST_F(UnattendedRunTest, SignalIgnoredAtTheStartStaysIgnored) {
  for (const int ignored : {SIGHUP, SIGINT}) {
    SCOPED_TRACE(strsignal(ignored));
    program.reset();
    farm = std::make_unique<SimUnitFarm>(kUnits);
    farm->WriteConfig(folder);
    ASSERT_NO_FATAL_FAILURE(StartAWaitingRun({}, -1, [ignored] { return signal(ignored, SIG_IGN) != SIG_ERR; }));
    const pid_t pid = program->Pid();
    EXPECT_TRUE(SignalInMask(pid, "SigIgn:", ignored));
    EXPECT_FALSE(SignalInMask(pid, "SigCgt:", ignored));
    EXPECT_TRUE(SignalInMask(pid, "SigCgt:", SIGTERM));
    ASSERT_EQ(program->Signal(ignored), 0);
    EXPECT_FALSE(program->WaitForExit(1s).has_value()) << "the ignored signal ended it";
    ASSERT_NO_FATAL_FAILURE(EndIt());
    EXPECT_EQ(program->EndSignal(), 0);
    EXPECT_EQ(*program->WaitForExit(0ms), 128 + SIGTERM);
  }
}

// One unit and a run that fails early: its log holds few lines, and it is
// saved all the same, with the reason.
TEST_F(UnattendedRunTest, OneUnitRunThatFailsSavesItsShortLog) {
  Bytes damaged = ReadBytes(job);
  damaged[damaged.size() / 2] ^= 0x5A;
  const std::string damagedJob = folder + "DAMAGED.ptv";
  WriteBytes(damagedJob, damaged);
  const std::string truncatedJob = folder + "TRUNCATED.ptv";
  WriteBytes(truncatedJob, Bytes(damaged.begin(), damaged.begin() + 100));
  struct Case {
    const char* name;
    std::string job;
    bool unitSilent;
    std::string logSays;
  } cases[] = {
      {"a damaged job", damagedJob, false, "Project file of " + damagedJob + " did not load"},
      {"a truncated job", truncatedJob, false, "Project file of " + truncatedJob + " did not load"},
      {"a unit that never answers the search", job, true, "Hello OrvantGenX-BEM User!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    program.reset();
    fs::remove_all(folder + "Log");
    farm = std::make_unique<SimUnitFarm>(1);
    farm->WriteConfig(folder);
    farm->Unit(0).SetSilent(c.unitSilent, c.unitSilent);
    Start(c.job);
    ASSERT_TRUE(farm->WaitForAll(Identified, kRunLimit));
    EXPECT_FALSE(program->WaitForExit(2s).has_value());
    ASSERT_NO_FATAL_FAILURE(EndIt());
    const auto logs = SavedLogs();
    ASSERT_EQ(logs.size(), 1u) << "no window log saved";
    EXPECT_LE(logs[0].size(), 6u) << "no longer a short log";
    EXPECT_EQ(LinesSaying(logs, c.logSays), 1u) << c.logSays;
    std::string lines;
    for (const std::string& line : logs[0]) lines += line + "\n";
    RecordProperty(std::string("saved_log_") + c.name, lines);
  }
}

// The program folder on a full disk: every unit takes the job, but the result
// file cannot be written. None is left (the script's file test says "job
// failed"), the run stays open as any failed one and exits 143 when ended;
// the window log cannot be saved either: no file, its lines go to standard
// error, and the log saved before is as it was.
TEST_F(UnattendedRunTest, FullDiskLeavesNoResultNorLogAndTheRunFails) {
  const std::string exe = TestBuildDir() + "/OrvantGenBEM";
  disk = std::make_unique<SmallTmpfs>(fs::file_size(exe) + (4u << 20));
  if (!disk->Mounted()) GTEST_SKIP() << disk->WhyNot();
  folder = disk->Slashed();
  fs::copy_file(exe, folder + "OrvantGenBEM");
  const UnattendedJob made = PrepareUnattendedJob(folder, TestBuildDir(), 13);
  image = made.image;
  farm->WriteConfig(folder);
  fs::create_directory(folder + "Log");
  const std::string earlier = folder + "Log/ORxBEM_2026_01_01_08_00_00.log";
  std::ofstream(earlier, std::ios::binary) << "> 08:00:00 an earlier run\r\n";
  ASSERT_TRUE(disk->Fill());
  std::vector<std::string> before;
  for (const auto& entry : fs::directory_iterator(folder)) before.push_back(entry.path().filename().string());
  std::sort(before.begin(), before.end());

  Start(made.path);
  ASSERT_TRUE(farm->WaitForAll([&](const SimUnit& unit) { return TookTheJob(unit); }, kRunLimit));
  ASSERT_TRUE(WaitForError("OrvantGenBEM: " + folder + "ResDW.Txt: " + std::strerror(ENOSPC) + "\n")) << ErrorText();
  EXPECT_FALSE(ResultExists());
  EXPECT_FALSE(program->WaitForExit(1s).has_value()) << "a failed run stays open";
  ASSERT_NO_FATAL_FAILURE(EndIt());
  EXPECT_EQ(*program->WaitForExit(0ms), 128 + SIGTERM);
  EXPECT_FALSE(ResultExists());
  std::vector<std::string> after;
  for (const auto& entry : fs::directory_iterator(folder)) after.push_back(entry.path().filename().string());
  std::sort(after.begin(), after.end());
  EXPECT_EQ(after, before) << "a file was left";
  EXPECT_EQ(SavedLogs().size(), 1u);
  EXPECT_EQ(ReadBytes(earlier), (Bytes{'>', ' ', '0', '8', ':', '0', '0', ':', '0', '0', ' ', 'a', 'n', ' ', 'e', 'a',
                                       'r', 'l', 'i', 'e', 'r', ' ', 'r', 'u', 'n', '\r', '\n'}));
  const std::string said = ErrorText();
  EXPECT_NE(said.find("OrvantGenBEM: Write Log File error! " + folder + "Log/ORxBEM_"), std::string::npos) << said;
  EXPECT_NE(said.find("Hello OrvantGenX-BEM User!"), std::string::npos) << "the log's lines are not on standard error";
}

}  // namespace
