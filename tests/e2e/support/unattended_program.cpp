#include "unattended_program.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>
#include <thread>

#include "console/support/build_dir.h"
#include "link/port_discovery.h"
#include "support/child_signals.h"
#include "toolkit/combo_box.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr auto kPoll = 20ms;

bool EndsWith(const std::string& line, const std::string& text) {
  return line.size() >= text.size() && line.compare(line.size() - text.size(), text.size(), text) == 0;
}

}  // namespace

UnattendedProgram::UnattendedProgram(const std::string& folder, const std::string& job,
                                     const std::function<bool()>& inChild)
    : folder_(folder) {
  const std::string program = folder + "OrvantGenBEM";
  fs::copy_file(TestBuildDir() + "/OrvantGenBEM", program, fs::copy_options::overwrite_existing);
  const std::string errorPath = errorFolder_.File("stderr.txt");
  const int errorTo = open(errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (errorTo < 0) return;
  // Everything the child needs is made before the fork: other threads of the
  // test (the units) may hold the allocator's or the environment's lock then.
  std::vector<std::string> arguments = {program, job, "OFF"};
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  std::vector<std::string> environment = {"QT_QPA_PLATFORM=offscreen"};
  for (char** variable = environ; *variable; ++variable)
    if (std::string_view(*variable).substr(0, 16) != "QT_QPA_PLATFORM=") environment.emplace_back(*variable);
  std::vector<char*> envp;
  for (std::string& variable : environment) envp.push_back(variable.data());
  envp.push_back(nullptr);
  pid_ = fork();
  if (pid_ != 0) {
    close(errorTo);
    if (pid_ > 0) setpgid(pid_, pid_);  // either side may come first
    return;
  }
  setpgid(0, 0);
  DefaultSignalsInChild();
  if (dup2(errorTo, STDERR_FILENO) < 0) _exit(126);
  if (inChild && !inChild()) _exit(125);
  // Only what the program opens itself: not the test's ends of the units' lines.
  close_range(3, ~0U, 0);
  if (chdir(folder.c_str()) != 0) _exit(126);
  execve(argv[0], argv.data(), envp.data());
  _exit(127);
}

UnattendedProgram::~UnattendedProgram() {
  if (Running()) {
    kill(-pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

bool UnattendedProgram::Running() {
  if (ended_ || pid_ <= 0) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) != pid_) return true;
  ended_ = true;
  exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  endSignal_ = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  return false;
}

int UnattendedProgram::Signal(int signalNumber) const { return kill(pid_, signalNumber); }

std::optional<int> UnattendedProgram::WaitForExit(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (Running()) {
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(kPoll);
  }
  return exitCode_;
}

std::string UnattendedProgram::ErrorText() const {
  std::ifstream in(errorFolder_.File("stderr.txt"), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

bool UnattendedProgram::WaitForError(const std::string& text, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    // Read after the check of the end, so that what it wrote before it ended counts.
    const bool running = Running();
    if (ErrorText().find(text) != std::string::npos) return true;
    if (!running || std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kPoll);
  }
}

std::vector<std::vector<std::string>> UnattendedProgram::SavedLogs() const {
  std::vector<std::vector<std::string>> logs;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder_ + "Log", error)) {
    std::ifstream in(entry.path());
    std::vector<std::string>& lines = logs.emplace_back();
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
    }
  }
  return logs;
}

size_t UnattendedProgram::SavedLinesEndingWith(const std::string& text) const {
  size_t count = 0;
  for (const auto& lines : SavedLogs())
    for (const std::string& line : lines)
      if (EndsWith(line, text)) ++count;
  return count;
}

bool HideSerialPortsInChild() {
  // Private first, so that the empty folder is seen by this process alone.
  return unshare(CLONE_NEWNS) == 0 && mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
         mount("orv-no-ports", kSysClassTty, "tmpfs", MS_NOSUID | MS_NODEV | MS_NOEXEC, "size=16k") == 0;
}

bool SerialPortsCanBeHidden() {
  const pid_t child = fork();
  if (child == 0) _exit(HideSerialPortsInChild() ? 0 : 1);
  int status = 0;
  return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool SerialPortsListedHere() {
  TComboBoxModel box;
  ListSerialPorts(box);
  return box.Count() > 0;
}
