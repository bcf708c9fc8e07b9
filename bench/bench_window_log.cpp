// The window log's cost over a long shift: appends lines of the kinds an Auto
// Program run writes (the eight channels' step lines, their Chinese results
// and counts, the totals and general log lines, all time-stamped) through
// LogLine and the channel log to the real main window offscreen, shown and
// painted as it goes, and measures the resident memory before and after.
//
// Run by hand: QT_QPA_PLATFORM=offscreen build/bench/bench_window_log [lines]
// The last line reads
//   window log N lines: B bytes per line, append T us per line
// B is the growth of VmRSS divided by the lines; T the wall time of the whole
// loop (appends, event processing and painting) divided by the lines.
#include <stdlib.h>

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "console/main_window.h"
#include "link/channel_log.h"
#include "link/result_messages.h"
#include "shared/state.h"
#include "support/temp_folder.h"
#include "toolkit/format.h"
#include "toolkit/memo.h"
#include "toolkit/program_folder.h"
#include "toolkit/scripted_dialogs.h"

namespace {

constexpr size_t kDefaultLines = 500000;
// Events are processed (and the log view painted) after this many lines, about
// what eight busy channels append between two turns of the event loop.
constexpr size_t kLinesPerEventTurn = 64;

// Resident memory in bytes, from VmRSS of /proc/self/status; 0 when unreadable.
size_t ResidentBytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::strtoull(line.c_str() + 6, nullptr, 10) * 1024;
  return 0;
}

// Line `i` of a shift: nine lines per chip, as a run writes them, the chips
// taking the eight channels in turn and now and then failing.
void AppendTypicalLine(TOrvantBEMxPrg& window, size_t i) {
  static constexpr const char* kSteps[] = {
      "Initial Programming Interface ....", "Chip Blank Checking....", "Do Chip Erasing....",
      "Do Main Flash Programming....",      "Do Main Flash Verification....",
  };
  static constexpr uint8_t kFailures[] = {4, 11, 49, 52, 64, 96};
  const size_t chip = i / 9;
  const uint8_t channel = static_cast<uint8_t>(chip % kChannels);
  const bool fails = chip % 37 == 5;
  switch (i % 9) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 4:
      LogChannelLine(kSteps[i % 9], channel);
      break;
    case 5:
      LogChannelLine(ResultMessage(fails ? kFailures[chip % std::size(kFailures)] : 0), channel);
      break;
    case 6:
      LogChannelLine(fails ? "Progrmming Completed : Error：芯片未设定读保护！" : "Progrmming Completed : Successed !",
                     channel);
      break;
    case 7:
      LogChannelLine(Format("OK=%d, NG=%d.", {static_cast<int32_t>(chip / 8), static_cast<int32_t>(chip / 296)}),
                     channel);
      break;
    default:
      window.LogLine(Format("C%d ：第%d颗芯片编程完成，总数 OK=%d", {channel + 1, static_cast<int32_t>(chip),
                                                                   static_cast<int32_t>(chip - chip / 37)}));
      break;
  }
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const size_t lines = argc > 1 ? std::max<size_t>(1, std::strtoull(argv[1], nullptr, 10)) : kDefaultLines;
  // The window's first show looks for its files here and makes its Log folder.
  const TempFolder programFolder("orv_bench_");
  SetProgramFolderForTest(programFolder.Slashed());
  ScriptedMessageBoxes boxes;  // the missing firmware image's notice

  QApplication application(argc, argv);
  size_t before = 0;
  size_t after = 0;
  double seconds = 0;
  size_t logged = 0;
  {
    TOrvantBEMxPrg window;
    g.OrvantBEMxPrg = &window;
    window.show();
    QApplication::processEvents();
    window.InfoMemo().Clear();
    QApplication::processEvents();
    before = ResidentBytes();

    const auto begin = std::chrono::steady_clock::now();
    for (size_t i = 0; i < lines; ++i) {
      AppendTypicalLine(window, i);
      if ((i + 1) % kLinesPerEventTurn == 0) QApplication::processEvents();
    }
    QApplication::processEvents();
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    after = ResidentBytes();
    logged = window.InfoMemo().Count();
    std::printf("resident before %zu kB, after %zu kB\n", before / 1024, after / 1024);
    g.OrvantBEMxPrg = nullptr;
    g.LogMemo = nullptr;
  }
  SetProgramFolderForTest("");
  if (logged != lines) {
    std::fprintf(stderr, "the window log holds %zu lines, not %zu\n", logged, lines);
    return 1;
  }
  const double bytesPerLine = after > before ? static_cast<double>(after - before) / lines : 0.0;
  std::printf("window log %zu lines: %.0f bytes per line, append %.2f us per line\n", lines, bytesPerLine,
              seconds * 1e6 / lines);
  return 0;
}
