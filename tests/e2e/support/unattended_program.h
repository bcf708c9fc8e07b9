#pragma once
// The real program as a production script starts an unattended run:
// "OrvantGenBEM JOB.ptv OFF" with the offscreen platform, from its program
// folder (which holds a copy of the executable), in a process group of its
// own, its standard error into a file beside that folder (see ProgramGroup).
//
// Waits poll with limits of their own and say so when they run out; nothing
// here sleeps to let the program get somewhere.

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "e2e/support/program_group.h"
#include "support/temp_folder.h"

class UnattendedProgram {
public:
  // Copies the build's executable into folder (ending in '/') and starts it
  // there with job and OFF. inChild runs in the child right before the exec
  // (what a launcher does to it: another user, another view of /sys); the
  // child gives up with status 125 when it returns false.
  UnattendedProgram(const std::string& folder, const std::string& job, const std::function<bool()>& inChild = {});
  UnattendedProgram(const UnattendedProgram&) = delete;
  UnattendedProgram& operator=(const UnattendedProgram&) = delete;

  bool Started() const { return group_.Started(); }
  bool Running() { return group_.Running(); }
  int Signal(int signalNumber) const { return group_.Signal(signalNumber); }
  // Its exit status once it has ended, nothing at the limit.
  std::optional<int> WaitForExit(std::chrono::milliseconds limit) { return group_.WaitForExit(limit); }
  // The signal that ended it, 0 when it exited (or still runs).
  int EndSignal() const { return group_.EndSignal(); }

  // What it wrote to standard error so far; whether that came to hold text
  // within the limit (false as soon as the program has ended without it).
  std::string ErrorText() const;
  bool WaitForError(const std::string& text, std::chrono::milliseconds limit);

  // The lines of each window log saved in the folder's Log/.
  std::vector<std::vector<std::string>> SavedLogs() const;
  // How many lines of the saved logs end with text.
  size_t SavedLinesEndingWith(const std::string& text) const;

private:
  std::string folder_;
  TempFolder errorFolder_{"orv_run_stderr_"};
  int errorTo_ = -1;  // open only while the program starts
  ProgramGroup group_;
};

// In a child about to exec: gives it a view of the system in which no serial
// port exists (an empty /sys/class/tty in a mount namespace of its own), as
// on a station with no USB adapter plugged in. False when this system does
// not let it (no privilege for a mount namespace).
bool HideSerialPortsInChild();
// Whether HideSerialPortsInChild works here, tried in a child of its own.
bool SerialPortsCanBeHidden();
// Whether the port search of this machine lists any port as it stands.
bool SerialPortsListedHere();
