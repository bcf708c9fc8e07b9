// orv-simunit: one simulated programmer unit for hands-on runs.
//
//   orv-simunit [--attach PATH] [--paced] [--name TEXT] [--version TEXT]
//               [--letters XY] [--state blank|notblank|read16|read19|write90]
//               [--fail CODE] [--silent]
//
// Without --attach it opens a pseudo-terminal pair and prints the path to
// give the program (a settings line DEVn=<path>); it serves until SIGINT or
// SIGTERM.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <map>
#include <string>

#include "link/wire.h"
#include "simunit/sim_unit.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: orv-simunit [--attach PATH] [--paced] [--name TEXT] [--version TEXT]\n"
               "                   [--letters XY] [--state blank|notblank|read16|read19|write90]\n"
               "                   [--fail CODE] [--silent]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::map<std::string, std::string> options;
  bool paced = false;
  bool silent = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--paced") {
      paced = true;
    } else if (arg == "--silent") {
      silent = true;
    } else if (arg.rfind("--", 0) == 0 && i + 1 < argc) {
      options[arg] = argv[++i];
    } else {
      return Usage();
    }
  }

  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  try {
    SimUnit unit = options.count("--attach") ? SimUnit(options["--attach"]) : SimUnit();
    SimIdentity identity;
    if (options.count("--name")) identity.name = options["--name"];
    if (options.count("--version")) identity.version = options["--version"];
    if (options.count("--letters") && options["--letters"].size() == 2) {
      identity.letters[0] = options["--letters"][0];
      identity.letters[1] = options["--letters"][1];
    }
    unit.SetIdentity(identity);
    const std::string state = options.count("--state") ? options["--state"] : "blank";
    const std::map<std::string, SimProtection> protections = {
        {"read16", SimProtection::kReadProtected16},
        {"read19", SimProtection::kReadProtected19},
        {"write90", SimProtection::kWriteProtected}};
    if (state == "notblank") {
      unit.SetNotBlank();
    } else if (protections.count(state)) {
      unit.SetProtection(protections.at(state));
    } else if (state != "blank") {
      return Usage();
    }
    if (options.count("--fail"))
      unit.SetFailure(static_cast<uint8_t>(std::strtoul(options["--fail"].c_str(), nullptr, 0)));
    unit.SetSilent(silent);
    if (paced) unit.SetLineRate(kLineBaud);
    unit.Start();
    std::printf("%s\n", unit.SlavePath().c_str());
    std::fflush(stdout);
    int received = 0;
    sigwait(&signals, &received);
    unit.Stop();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "orv-simunit: %s\n", e.what());
    return 1;
  }
  return 0;
}
