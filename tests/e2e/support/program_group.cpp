#include "program_group.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string_view>
#include <thread>

#include "support/child_signals.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kPoll = 20ms;
constexpr std::string_view kPlatformVariable = "QT_QPA_PLATFORM=";

}  // namespace

ProgramGroup::ProgramGroup(const std::string& folder, std::vector<std::string> arguments, int errorTo,
                           const std::function<bool()>& inChild) {
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  std::vector<std::string> environment = {std::string(kPlatformVariable) + "offscreen"};
  for (char** variable = environ; *variable; ++variable)
    if (!std::string_view(*variable).starts_with(kPlatformVariable)) environment.emplace_back(*variable);
  std::vector<char*> envp;
  for (std::string& variable : environment) envp.push_back(variable.data());
  envp.push_back(nullptr);
  pid_ = fork();
  if (pid_ != 0) {
    if (pid_ > 0) setpgid(pid_, pid_);  // either side may come first
    return;
  }
  setpgid(0, 0);
  DefaultSignalsInChild();
  if (errorTo >= 0 && dup2(errorTo, STDERR_FILENO) < 0) _exit(126);
  if (inChild && !inChild()) _exit(125);
  // Only what the program opens itself: not the test's ends of the units' lines.
  close_range(3, ~0U, 0);
  if (chdir(folder.c_str()) != 0) _exit(126);
  execvpe(argv[0], argv.data(), envp.data());
  _exit(127);
}

ProgramGroup::~ProgramGroup() {
  if (Running()) {
    kill(-pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

int ProgramGroup::Signal(int signalNumber) const { return kill(pid_, signalNumber); }

bool ProgramGroup::Running() {
  if (ended_ || pid_ <= 0) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) != pid_) return true;
  ended_ = true;
  exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  endSignal_ = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  return false;
}

std::optional<int> ProgramGroup::WaitForExit(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (Running()) {
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(kPoll);
  }
  return exitCode_;
}
