#pragma once
// A program a test starts as a script or a supervisor would: in a folder of
// its choosing, with the offscreen platform, in a process group of its own,
// from the default signal actions however the suite itself was started. The
// group is killed when the object goes while the program still runs.
//
// Everything the child needs is made before the fork: other threads of the
// test (the simulated units) may hold the allocator's or the environment's
// lock at that moment, and a child that took one would never reach its exec.

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class ProgramGroup {
public:
  // Starts arguments[0] (looked up on PATH when it holds no '/') with the
  // rest, from folder. Its standard error is the test's, or errorTo when
  // that is a descriptor. inChild runs in the child right before the exec
  // (what a launcher such as nohup or su does to it, or another view of
  // /sys); the child gives up with status 125 when it returns false.
  ProgramGroup(const std::string& folder, std::vector<std::string> arguments, int errorTo = -1,
               const std::function<bool()>& inChild = {});
  ~ProgramGroup();
  ProgramGroup(const ProgramGroup&) = delete;
  ProgramGroup& operator=(const ProgramGroup&) = delete;

  bool Started() const { return pid_ > 0; }
  pid_t Pid() const { return pid_; }
  int Signal(int signalNumber) const;
  bool Running();
  // Its exit status once it has ended by itself, nothing at the limit.
  std::optional<int> WaitForExit(std::chrono::milliseconds limit);
  // The signal that ended it, 0 when it exited (or still runs).
  int EndSignal() const { return endSignal_; }

private:
  pid_t pid_ = -1;
  bool ended_ = false;
  int exitCode_ = -1;
  int endSignal_ = 0;
};
