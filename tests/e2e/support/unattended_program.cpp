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

// The descriptor of a new file at path, for the program's standard error; -1
// when it cannot be made.
int OpenErrorFile(const std::string& path) { return open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600); }

// The folder's copy of the build's executable, with job and OFF.
std::vector<std::string> CopiedProgramLine(const std::string& folder, const std::string& job) {
  const std::string program = folder + "OrvantGenBEM";
  fs::copy_file(TestBuildDir() + "/OrvantGenBEM", program, fs::copy_options::overwrite_existing);
  return {program, job, "OFF"};
}

}  // namespace

UnattendedProgram::UnattendedProgram(const std::string& folder, const std::string& job,
                                     const std::function<bool()>& inChild)
    : folder_(folder),
      errorTo_(OpenErrorFile(errorFolder_.File("stderr.txt"))),
      group_(folder, CopiedProgramLine(folder, job), errorTo_, inChild) {
  if (errorTo_ >= 0) close(errorTo_);
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
