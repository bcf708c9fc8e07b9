// orv-simunit: simulated programmer units for hands-on runs. See Usage() for
// the options; every unit of one process takes the same ones.
//
// Without --attach it opens one pseudo-terminal pair per unit and prints each
// slave path on a line of its own (the port names to give the program); with
// --write-config it also writes a ConfigOvg.ini naming them. It serves until
// SIGINT or SIGTERM.

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "link/firmware.h"
#include "link/wire.h"
#include "simunit/connection_file.h"
#include "simunit/sim_unit.h"

namespace {

using namespace std::chrono;

constexpr size_t kMaxUnits = 8;

const char kUsage[] =
    "usage: orv-simunit [options]\n"
    "line:\n"
    "  --attach PATH         serve an existing device instead of a new pty\n"
    "  --units N             start N units (1..8) on new ptys; default 1\n"
    "  --write-config DIR    write DIR/ConfigOvg.ini naming the units; after an upgrade a\n"
    "                        unit reports the version of DIR/GenXBEM.FWR\n"
    "  --paced               pace both directions at 1,000,000 baud (11 bits a byte)\n"
    "  --baud N              pace both directions at N baud\n"
    "  --erase-ms N, --program-ms N, --verify-ms N, --read-ms N\n"
    "                        time the unit works on an erase, each program block, a verify,\n"
    "                        each read block\n"
    "  --adapter-latency-ms N\n"
    "                        hold every reply shorter than 62 bytes N ms, as a USB serial\n"
    "                        adapter's latency timer does\n"
    "identity and chip:\n"
    "  --name TEXT, --version TEXT, --letters XY\n"
    "  --upgrade-version TEXT the version reported after an upgrade, whatever the image\n"
    "  --state blank|notblank|read16|read19|write90\n"
    "  --chip-kb N           chip size before the first parameter block\n"
    "replies:\n"
    "  --fail CODE[,CMD[,OP]]  answer matching commands with CODE, every time\n"
    "  --silent              answer no command (the identify request still is)\n"
    "  --fault KIND[,CMD[,OP]][=VALUE]\n"
    "                        a one-shot fault for the next matching command; repeat for more,\n"
    "                        used in order. KIND: bad-crc, bad-escape, truncate (=payload bytes\n"
    "                        kept), one-byte (=result, default 6), verify48, silence,\n"
    "                        late (=ms), hangup\n"
    "  --report S,R,P,T      the step report to send (step, result, progress, total)\n"
    "  --report-with-replies send that report in the same write, ahead of every reply\n"
    "  --report-every MS     send that report on its own every MS milliseconds\n"
    "  --report-stream MS    once the unit has answered its first identify request, send\n"
    "                        that report back to back for MS milliseconds, as fast as the\n"
    "                        line takes it (at the paced rate with --paced or --baud),\n"
    "                        replies going out between two reports; then print\n"
    "                        \"PATH: N step reports streamed\"\n"
    "  --split AT,GAP_MS     cut every reply after AT bytes, pausing GAP_MS before the rest\n"
    "  --hangup-after MS     close the line MS milliseconds after the start\n"
    "CMD and OP are numbers (0x93 and 85 for a verify); VALUE a number.\n";

int Usage(const std::string& why) {
  if (!why.empty()) std::fprintf(stderr, "orv-simunit: %s\n", why.c_str());
  std::fputs(kUsage, stderr);
  return 2;
}

struct BadOption {
  std::string why;
};
struct HelpWanted {};

// A whole decimal or 0x number within [0, limit].
unsigned long Number(const std::string& text, unsigned long limit) {
  char* end = nullptr;
  errno = 0;
  const unsigned long value = std::strtoul(text.c_str(), &end, 0);
  if (text.empty() || text[0] == '-' || *end != '\0' || errno != 0 || value > limit)
    throw BadOption{"not a number up to " + std::to_string(limit) + ": " + text};
  return value;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  std::string part;
  while (std::getline(in, part, separator)) parts.push_back(part);
  return parts;
}

// "CMD[,OP]" after the first field of parts.
void TakeMatch(const std::vector<std::string>& parts, int& command, int& operation) {
  if (parts.size() > 3) throw BadOption{"too many fields"};
  if (parts.size() > 1) command = static_cast<int>(Number(parts[1], 0xFF));
  if (parts.size() > 2) operation = static_cast<int>(Number(parts[2], 0xFFFF));
}

SimFault ParseFault(const std::string& text) {
  static const std::map<std::string, SimFaultKind> kKinds = {
      {"bad-crc", SimFaultKind::kBadCrc},         {"bad-escape", SimFaultKind::kBadEscape},
      {"truncate", SimFaultKind::kTruncatedData}, {"one-byte", SimFaultKind::kOneByteReply},
      {"verify48", SimFaultKind::kVerifyDiffers}, {"silence", SimFaultKind::kSilence},
      {"late", SimFaultKind::kLateReply},         {"hangup", SimFaultKind::kHangUp}};
  const size_t equals = text.find('=');
  const std::vector<std::string> parts = Split(text.substr(0, equals), ',');
  if (parts.empty() || !kKinds.count(parts[0])) throw BadOption{"unknown fault: " + text};
  SimFault fault;
  fault.kind = kKinds.at(parts[0]);
  TakeMatch(parts, fault.command, fault.operation);
  if (equals != std::string::npos) {
    const std::string value = text.substr(equals + 1);
    if (fault.kind == SimFaultKind::kTruncatedData) {
      fault.keepBytes = static_cast<uint16_t>(Number(value, 0xFFFF));
    } else if (fault.kind == SimFaultKind::kOneByteReply) {
      fault.code = static_cast<uint8_t>(Number(value, 0xFF));
    } else if (fault.kind == SimFaultKind::kLateReply) {
      fault.delay = milliseconds(Number(value, 3600000));
    } else {
      throw BadOption{"this fault takes no value: " + text};
    }
  }
  return fault;
}

SimStepReport ParseReport(const std::string& text) {
  const std::vector<std::string> parts = Split(text, ',');
  if (parts.size() != 4) throw BadOption{"a report is STEP,RESULT,PROGRESS,TOTAL: " + text};
  return SimStepReport{static_cast<uint8_t>(Number(parts[0], 0xFF)),
                       static_cast<uint8_t>(Number(parts[1], 0xFF)),
                       static_cast<uint16_t>(Number(parts[2], 0xFFFF)),
                       static_cast<uint16_t>(Number(parts[3], 0xFFFF))};
}

struct Options {
  std::optional<std::string> attach;
  size_t units = 1;
  std::optional<std::string> configFolder;
  uint32_t baud = 0;
  SimLatencies latencies;
  SimIdentity identity;
  std::string upgradeVersion;
  std::string state = "blank";
  std::optional<uint32_t> chipBytes;
  std::optional<std::vector<std::string>> fail;
  bool silent = false;
  std::vector<SimFault> faults;
  SimStepReport report{1, 0, 0, 1};
  bool reportWithReplies = false;
  std::optional<milliseconds> reportEvery;
  std::optional<milliseconds> reportStream;
  SimReplyShape split;
  std::optional<milliseconds> hangUpAfter;
};

Options Parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw BadOption{arg + " needs a value"};
      return argv[++i];
    };
    if (arg == "--paced") {
      o.baud = kLineBaud;
    } else if (arg == "--silent") {
      o.silent = true;
    } else if (arg == "--report-with-replies") {
      o.reportWithReplies = true;
    } else if (arg == "--attach") {
      o.attach = value();
    } else if (arg == "--units") {
      o.units = Number(value(), kMaxUnits);
      if (o.units == 0) throw BadOption{"--units takes 1 to 8"};
    } else if (arg == "--write-config") {
      o.configFolder = value();
    } else if (arg == "--baud") {
      o.baud = static_cast<uint32_t>(Number(value(), 100000000));
    } else if (arg == "--adapter-latency-ms") {
      o.latencies.adapterHold = milliseconds(Number(value(), 3600000));
    } else if (arg == "--erase-ms") {
      o.latencies.erase = milliseconds(Number(value(), 3600000));
    } else if (arg == "--program-ms") {
      o.latencies.program = milliseconds(Number(value(), 3600000));
    } else if (arg == "--verify-ms") {
      o.latencies.verify = milliseconds(Number(value(), 3600000));
    } else if (arg == "--read-ms") {
      o.latencies.read = milliseconds(Number(value(), 3600000));
    } else if (arg == "--name") {
      o.identity.name = value();
    } else if (arg == "--version") {
      o.identity.version = value();
    } else if (arg == "--letters") {
      const std::string letters = value();
      if (letters.size() != 2) throw BadOption{"--letters takes two letters"};
      o.identity.letters[0] = letters[0];
      o.identity.letters[1] = letters[1];
    } else if (arg == "--upgrade-version") {
      o.upgradeVersion = value();
    } else if (arg == "--state") {
      o.state = value();
    } else if (arg == "--chip-kb") {
      o.chipBytes = static_cast<uint32_t>(Number(value(), kSimFlashBytes / 1024) * 1024);
    } else if (arg == "--fail") {
      o.fail = Split(value(), ',');
    } else if (arg == "--fault") {
      o.faults.push_back(ParseFault(value()));
    } else if (arg == "--report") {
      o.report = ParseReport(value());
    } else if (arg == "--report-every") {
      o.reportEvery = milliseconds(Number(value(), 3600000));
      if (o.reportEvery->count() == 0) throw BadOption{"--report-every takes at least 1 ms"};
    } else if (arg == "--report-stream") {
      o.reportStream = milliseconds(Number(value(), 3600000));
    } else if (arg == "--split") {
      const std::vector<std::string> parts = Split(value(), ',');
      if (parts.size() != 2) throw BadOption{"--split takes AT,GAP_MS"};
      o.split.cuts = {Number(parts[0], 0xFFFF)};
      o.split.gap = milliseconds(Number(parts[1], 3600000));
    } else if (arg == "--hangup-after") {
      o.hangUpAfter = milliseconds(Number(value(), 3600000));
    } else if (arg == "--help" || arg == "-h") {
      throw HelpWanted{};
    } else {
      throw BadOption{"unknown option: " + arg};
    }
  }
  if (o.attach && o.units != 1) throw BadOption{"--attach serves one unit"};
  return o;
}

void Configure(SimUnit& unit, const Options& o) {
  static const std::map<std::string, SimProtection> kProtections = {
      {"read16", SimProtection::kReadProtected16},
      {"read19", SimProtection::kReadProtected19},
      {"write90", SimProtection::kWriteProtected}};
  unit.SetIdentity(o.identity);
  if (!o.upgradeVersion.empty()) unit.SetUpgradeVersion(o.upgradeVersion);
  if (o.chipBytes) unit.SetChipSize(*o.chipBytes);
  if (o.state == "notblank") {
    unit.SetNotBlank();
  } else if (kProtections.count(o.state)) {
    unit.SetProtection(kProtections.at(o.state));
  } else if (o.state != "blank") {
    throw BadOption{"unknown state: " + o.state};
  }
  if (o.fail) {
    if (o.fail->empty() || o.fail->size() > 3) throw BadOption{"--fail takes CODE[,CMD[,OP]]"};
    int command = kSimAny;
    int operation = kSimAny;
    TakeMatch(*o.fail, command, operation);
    unit.SetFailure(static_cast<uint8_t>(Number((*o.fail)[0], 0xFF)), command, operation);
  }
  unit.SetSilent(o.silent);
  unit.SetLineRate(o.baud);
  unit.SetLatencies(o.latencies);
  for (const SimFault& fault : o.faults) unit.AddFault(fault);
  SimReplyShape shape = o.split;
  if (o.reportWithReplies) shape.reportsBefore = {o.report};
  unit.SetReplyShape(shape);
}

// Waits for SIGINT or SIGTERM; until then sends the periodic step report and
// hangs up when that is due.
void Serve(std::vector<std::unique_ptr<SimUnit>>& units, const Options& o, const sigset_t& signals) {
  const auto started = steady_clock::now();
  auto nextReport = started + o.reportEvery.value_or(milliseconds(0));
  bool hungUp = false;
  for (;;) {
    auto wake = steady_clock::time_point::max();
    if (o.reportEvery) wake = nextReport;
    if (o.hangUpAfter && !hungUp) wake = std::min(wake, started + *o.hangUpAfter);
    int received = 0;
    if (wake == steady_clock::time_point::max()) {
      sigwait(&signals, &received);
      return;
    }
    const auto left = duration_cast<nanoseconds>(std::max(wake - steady_clock::now(), nanoseconds(0)));
    const timespec timeout{static_cast<time_t>(left.count() / 1000000000),
                           static_cast<long>(left.count() % 1000000000)};
    if (sigtimedwait(&signals, nullptr, &timeout) > 0) return;
    const auto now = steady_clock::now();
    if (o.hangUpAfter && !hungUp && now >= started + *o.hangUpAfter) {
      for (auto& unit : units) unit->HangUp();
      hungUp = true;
    }
    if (o.reportEvery && now >= nextReport) {
      for (auto& unit : units)
        if (!unit->IsHungUp()) unit->SendStepReport(o.report);
      nextReport += *o.reportEvery;
    }
  }
}

// The --report-stream flood of one unit, on a thread of its own: it waits
// for the program to find the unit, floods, and says how many reports went.
class ReportStream {
 public:
  ReportStream(SimUnit& unit, const SimStepReport& report, milliseconds span)
      : unit_(unit), thread_([this, report, span] { Run(report, span); }) {}
  ~ReportStream() {
    ending_ = true;
    unit_.StopStream();
    thread_.join();
  }

 private:
  void Run(const SimStepReport& report, milliseconds span) {
    while (!ending_ && !unit_.WaitForReplies(1, milliseconds(50))) {
    }
    if (ending_) return;
    const size_t sent = unit_.StreamStepReports(report, std::numeric_limits<size_t>::max(), span);
    std::printf("%s: %zu step reports streamed\n", unit_.SlavePath().c_str(), sent);
    std::fflush(stdout);
  }

  SimUnit& unit_;
  std::atomic<bool> ending_{false};
  std::thread thread_;
};

}  // namespace

int main(int argc, char** argv) {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  try {
    const Options options = Parse(argc, argv);
    std::vector<std::unique_ptr<SimUnit>> units;
    std::vector<std::string> paths;
    for (size_t i = 0; i < options.units; ++i) {
      units.push_back(options.attach ? std::make_unique<SimUnit>(*options.attach)
                                     : std::make_unique<SimUnit>());
      Configure(*units.back(), options);
      // The program of that folder upgrades the units from its image file.
      if (options.configFolder)
        units.back()->SetUpgradeImageFile(FolderFile(*options.configFolder, kFirmwareFileName));
      paths.push_back(units.back()->SlavePath());
    }
    if (options.configFolder) WriteConnectionConfig(*options.configFolder, paths);
    for (auto& unit : units) unit->Start();
    for (const std::string& path : paths) std::printf("%s\n", path.c_str());
    std::fflush(stdout);
    std::vector<std::unique_ptr<ReportStream>> streams;
    if (options.reportStream)
      for (auto& unit : units) streams.push_back(std::make_unique<ReportStream>(*unit, options.report, *options.reportStream));
    Serve(units, options, signals);
    streams.clear();
    for (auto& unit : units) unit->Stop();
  } catch (const HelpWanted&) {
    std::fputs(kUsage, stdout);
    return 0;
  } catch (const BadOption& bad) {
    return Usage(bad.why);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "orv-simunit: %s\n", e.what());
    return 1;
  }
  return 0;
}
