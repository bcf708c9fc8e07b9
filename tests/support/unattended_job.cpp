#include "support/unattended_job.h"

#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "link/wire.h"
#include "support/child_signals.h"
#include "simunit/firmware_builder.h"

namespace {
constexpr size_t kFirmwareBodyBytes = 256;
constexpr uint8_t kFirmwareBodyFill = 0x11;
// The version every simulated unit reports unless told otherwise.
constexpr const char* kUnitFirmwareVersion = "V1.0";
}  // namespace

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

int RunToCompletion(std::vector<std::string> arguments) {
  const pid_t pid = fork();
  if (pid == 0) {
    DefaultSignalsInChild();
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

UnattendedJob PrepareUnattendedJob(const std::string& folder, const std::string& buildDir, uint32_t seed) {
  WriteBytes(folder + "GenXBEM.FWR",
             BuildFirmwareImage(std::vector<uint8_t>(kFirmwareBodyBytes, kFirmwareBodyFill), kUnitFirmwareVersion));
  UnattendedJob job{folder + "JOB.ptv", std::vector<uint8_t>(kUnattendedChipBytes)};
  std::mt19937 random(seed);
  for (uint8_t& byte : job.image) byte = static_cast<uint8_t>(random());
  WriteBytes(folder + "image.bin", job.image);
  if (RunToCompletion({buildDir + "/tools/make_project", "FU6813P", folder + "image.bin", job.path}) != 0)
    throw std::runtime_error("make_project could not make " + job.path);
  return job;
}

SimFault SilenceInTheDownload() {
  SimFault silence;
  silence.kind = SimFaultKind::kSilence;
  silence.command = kCmdDownloadFlash;
  silence.operation = 12;  // its argument: the block's first KB
  return silence;
}
