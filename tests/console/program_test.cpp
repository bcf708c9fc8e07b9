// The program body's checks before Qt starts.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QLabel>
#include <QTimer>

#include "catalogue/qt/chip_select_form.h"
#include "console/about_form.h"
#include "console/config_sn_form.h"
#include "console/ofs_addr_form.h"
#include "console/main_window.h"
#include "console/program.h"
#include "shared/state.h"
#include "support/build_dir.h"
#include "support/child_signals.h"
#include "support/main_window_fixture.h"
#include "support/pty_pair.h"
#include "support/temp_folder.h"
#include "support/tool_run.h"
#include "toolkit/dialogs.h"
#include "toolkit/qt/qt_bindings.h"
#include "toolkit/qt/termination_signals.h"

namespace {

TEST(ProgramBody, DisplayIsAvailableWithAnyOfTheThreeVariables) {
  struct Case {
    const char* display;
    const char* wayland;
    const char* platform;
    bool available;
  } cases[] = {
      {nullptr, nullptr, nullptr, false}, {"", "", "", false},          {":0", nullptr, nullptr, true},
      {nullptr, "wayland-0", nullptr, true}, {nullptr, nullptr, "offscreen", true}, {"", "", "xcb", true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DisplayAvailable(c.display, c.wayland, c.platform), c.available)
        << (c.display ? c.display : "null") << " " << (c.wayland ? c.wayland : "null") << " "
        << (c.platform ? c.platform : "null");
}

TEST(ProgramBody, ArgumentsAreThoseAfterTheProgramName) {
  char program[] = "OrvantGenBEM", project[] = "a.ptv", off[] = "off";
  char* argv[] = {program, project, off, nullptr};
  EXPECT_EQ(ProgramArguments(3, argv), (std::vector<std::string>{"a.ptv", "off"}));
  EXPECT_TRUE(ProgramArguments(1, argv).empty());
}

TEST(ProgramBody, WithoutDisplayTheProgramSaysHowToRunHeadless) {
  std::string program = TestBuildDir() + "/OrvantGenBEM";
  ASSERT_TRUE(std::filesystem::exists(program)) << program;
  const ToolRun run = RunTool("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" + program + "'");
  EXPECT_EQ(run.status, kNoDisplayExitCode);
  EXPECT_EQ(run.output, NoDisplayMessage());
}

TEST(ProgramBody, CreatesTheCaptionedMainWindowAndItsHiddenForms) {
  {
    TOrvantBEMxPrg mainWindow;
    CreateForms(mainWindow);
    EXPECT_EQ(g.OrvantBEMxPrg, &mainWindow);
    EXPECT_EQ(mainWindow.windowTitle().toStdString(), "OrvantGenBEM Programmer Wizard");
    ASSERT_NE(g.AboutForm, nullptr);
    EXPECT_EQ(g.AboutForm->windowTitle().toStdString(), "About");
    EXPECT_EQ(g.AboutForm->Label1->text().toStdString(), "OrvantGenBEM Flash MCU Programmer");
    EXPECT_EQ(g.AboutForm->Label2->text().toStdString(), "Version V1.7");
    EXPECT_FALSE(g.AboutForm->Label3->text().isEmpty());
    const QWidget* forms[] = {g.AboutForm, g.ChipSelectForm, g.FormOfsAddr, g.ConfigSNForm};
    for (const QWidget* form : forms) {
      ASSERT_NE(form, nullptr);
      EXPECT_EQ(form->parent(), &mainWindow);
      EXPECT_TRUE(form->isHidden());
    }
  }
}

using namespace std::chrono_literals;

std::vector<std::filesystem::path> FilesIn(const std::string& folder) {
  std::vector<std::filesystem::path> files;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) files.push_back(entry.path());
  return files;
}

using SignalCloseTest = MainWindowTest;

// The real signal through the real close path: the window closes as if the
// user closed it, the open port is closed and the window log is saved.
TEST_F(SignalCloseTest, SigtermClosesTheWindowItsPortsAndSavesTheWindowLog) {
  PlaceFirmwareImage();
  window->show();
  for (int i = 0; i < 7; ++i) window->LogLine("line " + std::to_string(i));
  PtyPair pty;
  window->SPComm[0]->SetCommName(pty.SlavePath());
  window->SPComm[0]->OpenPort();
  ASSERT_NE(window->SPComm[0]->PortHandle(), 0);
  TerminationSignals termination;
  int signalTaken = 0;
  CloseOnTerminationSignals(termination, *window, &signalTaken);
  ASSERT_TRUE(termination.Installed());
  QTimer::singleShot(0, [] { raise(SIGTERM); });
  QTimer patience;  // a close that never came ends the loop with 1
  patience.setSingleShot(true);
  QObject::connect(&patience, &QTimer::timeout, [] { QCoreApplication::exit(1); });
  patience.start(10s);
  EXPECT_EQ(TApplication::exec(), 0);
  termination.StopNotifying();
  EXPECT_EQ(signalTaken, SIGTERM);
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(window->SPComm[0]->PortHandle(), 0);
  const auto logs = FilesIn(folder + "Log");
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(logs[0].extension(), ".log");
  std::ifstream saved(logs[0]);
  std::string first;
  std::getline(saved, first);
  EXPECT_NE(first.find("Hello OrvantGenX-BEM User!"), std::string::npos) << first;
}

// Nobody reads the boxes of an unattended run: each one's text also goes to
// the window log and to standard error when it is shown, and the box stays.
TEST_F(MainWindowTest, BoxesOfAnUnattendedRunAlsoGoToTheWindowLogAndStandardError) {
  struct Case {
    const char* name;
    std::vector<std::string> commandLine;
    bool echoed;
  } cases[] = {
      {"no command line", {}, false},
      {"a project only", {"JOB.ptv"}, false},
      {"a project and OFF", {"JOB.ptv", "OFF"}, true},
  };
  const std::string text = "File of JOB.ptv is not found!";
  EchoBoxesOfUnattendedRun(*window);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    window->SetCommandLine(c.commandLine);
    boxes.Clear();
    const size_t lines = window->InfoMemo().Count();
    testing::internal::CaptureStderr();
    ShowMessage(text);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{text});
    if (c.echoed) {
      ASSERT_EQ(window->InfoMemo().Count(), lines + 1);
      EXPECT_TRUE(LogLines().back().ends_with(" " + text)) << LogLines().back();
      EXPECT_EQ(said, "OrvantGenBEM: " + text + "\n");
    } else {
      EXPECT_EQ(window->InfoMemo().Count(), lines);
      EXPECT_EQ(said, "");
    }
  }
  // A handler that logs its box's text right before the box: the log holds
  // it once, standard error still gets it.
  window->SetCommandLine({"JOB.ptv", "OFF"});
  const size_t before = window->InfoMemo().Count();
  window->LogLine(text);
  testing::internal::CaptureStderr();
  ShowMessage(text);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "OrvantGenBEM: " + text + "\n");
  EXPECT_EQ(window->InfoMemo().Count(), before + 1);
  // Another text after it is logged as before.
  ShowMessage("x" + text);
  EXPECT_EQ(window->InfoMemo().Count(), before + 2);
  SetMessageBoxObserver(nullptr);
}

// Only a run started for the unattended end that wrote its result exits 0
// among the unattended ones; every other run exits 0 as it always did.
TEST(ProgramBody, ExitStatusTellsAFailedUnattendedRun) {
  struct Case {
    bool unattended;
    bool resultWritten;
    int signalTaken;
    int status;
  } cases[] = {
      {false, false, 0, 0},         {false, false, SIGTERM, 0},   {true, true, 0, 0},
      {true, true, SIGTERM, 0},     {true, false, 0, kFailedRunExitCode},
      {true, false, SIGTERM, 143},  {true, false, SIGINT, 130},   {true, false, SIGHUP, 129},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ExitStatus(c.unattended, c.resultWritten, c.signalTaken), c.status)
        << c.unattended << " " << c.resultWritten << " " << c.signalTaken;
}

// The executable itself in a program folder of its own (it finds its folder
// from its own path, so a copy of it there is the program installed there).
class ExecutableSignalTest : public ::testing::Test {
protected:
  void SetUp() override {
    const std::string program = TestBuildDir() + "/OrvantGenBEM";
    ASSERT_TRUE(std::filesystem::exists(program)) << program;
    std::filesystem::copy_file(program, folder_ / "OrvantGenBEM");
  }
  void TearDown() override {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

  void PlaceFirmwareImage() { WriteUsableFirmwareImage((folder_ / "GenXBEM.FWR").string()); }

  // Starts it offscreen and waits until its first show has begun, which its
  // Log folder shows; the signal handlers are in place before that.
  void Start() {
    const std::string exe = (folder_ / "OrvantGenBEM").string();
    char* argv[] = {const_cast<char*>(exe.c_str()), nullptr};
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Default actions, so that SIGINT and SIGHUP reach its handlers also when
    // the suite runs from nohup or in the background.
    ASSERT_EQ(posix_spawn(&pid_, exe.c_str(), nullptr, DefaultSignalsSpawn().Get(), argv, environ), 0);
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!std::filesystem::exists(folder_ / "Log") && std::chrono::steady_clock::now() < deadline) {
      ASSERT_FALSE(Exited()) << "ended before its first show";
      std::this_thread::sleep_for(10ms);
    }
    ASSERT_TRUE(std::filesystem::exists(folder_ / "Log"));
  }

  bool Exited() {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_) return false;
    status_ = status;
    pid_ = -1;
    return true;
  }

  // The wait status, or nothing when it was still running after the limit.
  std::optional<int> WaitForExit(std::chrono::seconds limit = 20s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!Exited()) {
      if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
      std::this_thread::sleep_for(10ms);
    }
    return status_;
  }

  TempFolder temp_;
  const std::filesystem::path& folder_ = temp_.Path();
  pid_t pid_ = -1;
  int status_ = 0;
};

struct SignalCase {
  const char* name;
  int signalNumber;
  bool firmwarePresent;  // without it start-up waits in a message box
};
void PrintTo(const SignalCase& c, std::ostream* os) { *os << c.name; }

class ExecutableSignalCloseTest : public ExecutableSignalTest, public ::testing::WithParamInterface<SignalCase> {};

TEST_P(ExecutableSignalCloseTest, EndsThroughTheCloseWithExitCodeZero) {
  const SignalCase& c = GetParam();
  if (c.firmwarePresent) PlaceFirmwareImage();
  Start();
  ASSERT_EQ(kill(pid_, c.signalNumber), 0);
  const std::optional<int> status = WaitForExit();
  ASSERT_TRUE(status) << "still running after the signal";
  ASSERT_TRUE(WIFEXITED(*status)) << "ended by signal " << WTERMSIG(*status);
  EXPECT_EQ(WEXITSTATUS(*status), 0);
}

INSTANTIATE_TEST_SUITE_P(Signals, ExecutableSignalCloseTest,
                         ::testing::Values(SignalCase{"Sigterm", SIGTERM, true}, SignalCase{"Sigint", SIGINT, true},
                                           SignalCase{"Sighup", SIGHUP, true},
                                           SignalCase{"SigtermDuringTheStartUpBox", SIGTERM, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// A copy of the signal that comes a few milliseconds after the first, while
// the quick close of an idle program (no units) is over and the process is
// winding down, is still a copy: the program ends by its close, every time.
// Before the handlers outlived the program body, the copy 3 ms later met the
// default action in nearly every run.
TEST_F(ExecutableSignalTest, ACopyDuringTheEndOfAQuickCloseStaysACopy) {
  constexpr int kRunsPerGap = 6;
  PlaceFirmwareImage();
  for (const auto gap : {3ms, 10ms}) {
    std::string statuses;
    for (int run = 1; run <= kRunsPerGap; ++run) {
      SCOPED_TRACE("gap " + std::to_string(gap.count()) + " ms, run " + std::to_string(run));
      std::filesystem::remove_all(folder_ / "Log");
      ASSERT_NO_FATAL_FAILURE(Start());
      ASSERT_EQ(kill(pid_, SIGTERM), 0);
      std::this_thread::sleep_for(gap);
      // Not yet reaped, so the pid is still the program's, running or ended.
      ASSERT_EQ(kill(pid_, SIGTERM), 0);
      const std::optional<int> status = WaitForExit();
      ASSERT_TRUE(status) << "still running after the signal";
      ASSERT_TRUE(WIFEXITED(*status)) << "ended by signal " << WTERMSIG(*status);
      EXPECT_EQ(WEXITSTATUS(*status), 0);
      statuses += std::to_string(WEXITSTATUS(*status)) + " ";
    }
    RecordProperty("exit_statuses_" + std::to_string(gap.count()) + "ms", statuses);
  }
}

// Two different signals at once: the second is no copy of the first and does
// not wait for the close the first began. Stopped while they are sent, so both
// are pending when it goes on.
TEST_F(ExecutableSignalTest, ASecondSignalEndsItAtOnce) {
  PlaceFirmwareImage();
  Start();
  ASSERT_EQ(kill(pid_, SIGSTOP), 0);
  int status = 0;
  ASSERT_EQ(waitpid(pid_, &status, WUNTRACED), pid_);
  ASSERT_TRUE(WIFSTOPPED(status));
  ASSERT_EQ(kill(pid_, SIGTERM), 0);
  ASSERT_EQ(kill(pid_, SIGINT), 0);
  ASSERT_EQ(kill(pid_, SIGCONT), 0);
  const std::optional<int> ended = WaitForExit();
  ASSERT_TRUE(ended) << "still running after two signals";
  ASSERT_TRUE(WIFSIGNALED(*ended)) << "exited with " << WEXITSTATUS(*ended);
  EXPECT_TRUE(WTERMSIG(*ended) == SIGTERM || WTERMSIG(*ended) == SIGINT) << WTERMSIG(*ended);
}

// The signals /proc shows the running program ignoring or catching (SigIgn,
// SigCgt) hold `signalNumber`.
bool ProcessShows(pid_t pid, const std::string& field, int signalNumber) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.starts_with(field + ":")) return (std::stoull(line.substr(field.size() + 1), nullptr, 16) >> (signalNumber - 1)) & 1;
  ADD_FAILURE() << "no " << field << " for " << pid;
  return false;
}

// Started with SIGPIPE at its default, as from a shell, the window runs with
// it ignored, while SIGTERM is still taken as the request to close.
TEST_F(ExecutableSignalTest, RunsWithSigpipeIgnoredAndSigtermTaken) {
  PlaceFirmwareImage();
  Start();
  EXPECT_TRUE(ProcessShows(pid_, "SigIgn", SIGPIPE));
  EXPECT_TRUE(ProcessShows(pid_, "SigCgt", SIGTERM));
  EXPECT_FALSE(ProcessShows(pid_, "SigIgn", SIGTERM));
}

// Its first write, to a standard error whose reader has gone, fails with
// EPIPE; the program still exits as it means to, not by SIGPIPE.
TEST_F(ExecutableSignalTest, AWriteToAReaderThatHasGoneIsNoEnd) {
  int pipeEnds[2];
  ASSERT_EQ(pipe2(pipeEnds, O_CLOEXEC), 0);
  close(pipeEnds[0]);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDERR_FILENO);
  // No display: the program says so on standard error and returns.
  std::vector<std::string> environment;
  for (char** e = environ; *e; ++e) {
    const std::string_view entry(*e);
    if (!entry.starts_with("DISPLAY=") && !entry.starts_with("WAYLAND_DISPLAY=") &&
        !entry.starts_with("QT_QPA_PLATFORM="))
      environment.emplace_back(entry);
  }
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  const std::string exe = (folder_ / "OrvantGenBEM").string();
  char* argv[] = {const_cast<char*>(exe.c_str()), nullptr};
  const int spawned = posix_spawn(&pid_, exe.c_str(), &actions, DefaultSignalsSpawn().Get(), argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(pipeEnds[1]);
  ASSERT_EQ(spawned, 0);
  const std::optional<int> status = WaitForExit();
  ASSERT_TRUE(status) << "still running";
  ASSERT_TRUE(WIFEXITED(*status)) << "ended by signal " << WTERMSIG(*status);
  EXPECT_EQ(WEXITSTATUS(*status), kNoDisplayExitCode);
}

}  // namespace
