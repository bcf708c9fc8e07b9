#pragma once
// A program folder prepared for an unattended download: the firmware image
// the simulated units already carry (so none is upgraded), a random image for
// a 32 KB FU6813P and the job made from it by the make_project tool.

#include <cstdint>
#include <string>
#include <vector>

#include "simunit/sim_unit.h"

inline constexpr uint32_t kUnattendedChipBytes = 32 * 1024;

struct UnattendedJob {
  std::string path;            // folder + "JOB.ptv"
  std::vector<uint8_t> image;  // what every unit must end up holding
};

// Writes the files into `folder` (ending in '/'); buildDir holds tools/make_project.
// Throws std::runtime_error when the tool fails.
UnattendedJob PrepareUnattendedJob(const std::string& folder, const std::string& buildDir, uint32_t seed);

// Runs the program arguments[0] with the rest as its arguments and waits for
// its end; its exit status, or -1 when it did not exit normally.
int RunToCompletion(std::vector<std::string> arguments);

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadBytes(const std::string& path);

// A unit that identifies and takes the start of the download, then falls
// silent: no answer to the fourth 4 KB flash block.
SimFault SilenceInTheDownload();
