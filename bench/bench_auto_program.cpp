// Auto Program of a 32 KB chip on eight simulated units paced as real lines
// (1,000,000 baud both ways), through the real main window offscreen, run
// several times. Prints per run the wall time from the button to the last
// channel's end and the floor the lines allow: the slowest channel's wire time
// (every command and reply byte, 11 bits a byte) plus one read-interval gap per
// reply, since the serial component delivers a received block only after that
// gap. Also the host turnaround, as the units see it: from the end of the
// read-interval gap after a reply's last byte to the first byte of the next
// command, and its two parts: up to the reply's delivery to the GUI thread,
// and from there to the next command's arrival at the unit. The event loop
// sleeps between events, as the program's own does.
//
// Run by hand:
//   QT_QPA_PLATFORM=offscreen build/bench/bench_auto_program [runs] [--adapter-latency-ms N]
// --adapter-latency-ms has every unit hold each reply shorter than 62 bytes for
// N ms, as a USB serial adapter's latency timer does (ftdi_sio: 16 ms unless
// the driver is asked for low latency, then 1 ms). The floor stays the wire's,
// so the ratio shows what the timer costs. The last line reads
//   auto program 8 channels: wall W ms, floor F ms, ratio R, turnaround T us
// with the median run's wall and floor and the median turnaround of all runs,
// and ", adapter latency N ms" after it when N is not 0.
#include <stdlib.h>

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "catalogue/checksums.h"
#include "catalogue/chip_catalogue.h"
#include "console/main_window.h"
#include "link/wire.h"
#include "simunit/firmware_builder.h"
#include "support/sim_unit_farm.h"
#include "support/temp_folder.h"
#include "toolkit/program_folder.h"
#include "toolkit/qt/qt_bindings.h"
#include "toolkit/scripted_dialogs.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr size_t kUnits = 8;
constexpr uint32_t kImageBytes = 32 * 1024;
constexpr const char* kChip = "FU6813N";  // 32 KB
constexpr int kDefaultRuns = 7;
constexpr auto kRunLimit = 60s;
constexpr double kMicrosPerByte = 1e6 * kBitsPerByte / kLineBaud;
// A frame's bytes beyond its packet: both ends and the five trailing fill bytes.
constexpr size_t kFrameOverheadBytes = 7;

// Lets the event loop sleep between events, as the program's own loop does,
// until done holds; Timer1's 10 ms ticks bound each sleep.
bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = kRunLimit) {
  const auto deadline = Clock::now() + limit;
  while (!done()) {
    if (Clock::now() >= deadline) return false;
    QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  return true;
}

bool AllIdle() {
  for (size_t ch = 0; ch < kUnits; ++ch)
    if (g.ChannelBusy[ch] != 0) return false;
  return true;
}

// Bytes the packet takes on the line once framed.
size_t FramedBytes(const std::vector<uint8_t>& packet) {
  size_t escapes = std::count_if(packet.begin(), packet.end(), [](uint8_t b) { return b == 0xC0 || b == 0xDB; });
  return packet.size() + escapes + kFrameOverheadBytes;
}

template <typename T>
T Median(std::vector<T> values) {
  if (values.empty()) return T{};
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// What the program received on each channel during a run: the bytes and the
// blocks the serial component delivered, and when the last channel ended.
struct ReceiveProbe {
  std::array<size_t, kUnits> bytes{};
  std::array<size_t, kUnits> blocks{};
  std::array<std::vector<Clock::time_point>, kUnits> deliveredAt;
  Clock::time_point ended;

  void Clear() {
    for (auto& times : deliveredAt) times.clear();
    bytes.fill(0);
    blocks.fill(0);
  }
  // Puts itself in front of each channel's receive handler.
  void Attach(TOrvantBEMxPrg& window) {
    for (size_t ch = 0; ch < kUnits; ++ch) {
      TComm& comm = *window.SPComm[ch];
      TReceiveDataEvent handler = comm.OnReceiveData;
      comm.OnReceiveData = [this, ch, handler](TComm* sender, const uint8_t* buffer, uint16_t length) {
        deliveredAt[ch].push_back(Clock::now());
        bytes[ch] += length;
        blocks[ch] += 1;
        handler(sender, buffer, length);
        if (AllIdle()) ended = Clock::now();
      };
    }
  }
};

// Microseconds from a to b.
double Us(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::micro>(b - a).count(); }

// Per reply of the unit's log that the next command followed: the turnaround
// from the end of the gap after the reply's last byte to the next command's
// arrival, and its two parts, split where the program got the reply (the
// first delivery after the reply's last byte).
struct Turnarounds {
  std::vector<double> wholeUs, toDeliveryUs, toNextCommandUs;

  void Add(const std::vector<SimPacket>& log, const std::vector<Clock::time_point>& delivered,
           std::chrono::milliseconds gap) {
    for (size_t k = 0; k + 1 < log.size(); ++k) {
      if (log[k].repliedAt == Clock::time_point{} || log[k + 1].receivedAt == Clock::time_point{}) continue;
      const Clock::time_point gapEnd = log[k].repliedAt + gap;
      wholeUs.push_back(Us(gapEnd, log[k + 1].receivedAt));
      const auto at = std::lower_bound(delivered.begin(), delivered.end(), log[k].repliedAt);
      if (at == delivered.end()) continue;
      toDeliveryUs.push_back(Us(gapEnd, *at));
      toNextCommandUs.push_back(Us(*at, log[k + 1].receivedAt));
    }
  }
};

std::vector<uint8_t> PatternImage(uint32_t n) {
  std::vector<uint8_t> image(n);
  uint32_t x = 12345;
  for (uint32_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    image[i] = static_cast<uint8_t>(x >> 16);
  }
  return image;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

struct RunFigures {
  double wallMs = 0;
  double floorMs = 0;
};

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  int runs = kDefaultRuns;
  int adapterLatencyMs = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--adapter-latency-ms" && i + 1 < argc) {
      adapterLatencyMs = std::max(0, atoi(argv[++i]));
    } else if (arg.rfind("--", 0) != 0) {
      runs = std::max(1, atoi(arg.c_str()));
    } else {
      std::fprintf(stderr, "usage: bench_auto_program [runs] [--adapter-latency-ms N]\n");
      return 2;
    }
  }
  TApplication app(argc, argv);
  BindGuiQueueToEventLoop();
  ScriptedMessageBoxes boxes;

  const TempFolder programFolder("orv_bench_");
  const std::string folder = programFolder.Slashed();
  SetProgramFolderForTest(folder);
  int exitCode = 0;
  {
    SimUnitFarm farm(kUnits, kLineBaud);
    farm.ForEach([adapterLatencyMs](SimUnit& unit) {
      SimLatencies latencies;
      latencies.adapterHold = std::chrono::milliseconds(adapterLatencyMs);
      unit.SetLatencies(latencies);
    });
    farm.WriteConfig(folder);
    WriteFile(folder + "GenXBEM.FWR", BuildFirmwareImage(PatternImage(4096), "V1.0"));

    TOrvantBEMxPrg window;
    g.OrvantBEMxPrg = &window;
    window.show();
    window.Timer2->stop();
    window.BitBtnFindDev->click();
    if (!WaitFor([] { return g.FoundDevices == kUnits && AllIdle(); }, 10s)) {
      std::fprintf(stderr, "only %d of %zu units found\n", int{g.FoundDevices}, kUnits);
      return 1;
    }
    SetChipParams(kChip);
    CommitChipSelection(kChip);
    const std::vector<uint8_t> image = PatternImage(kImageBytes);
    std::copy(image.begin(), image.end(), g.FlashImage);
    g.ImageCrc16 = Crc16Range(g.FlashImage, g.FlashStart, g.FlashEnd);
    g.ImageSum32 = SumRange(g.FlashImage, g.FlashStart, g.FlashEnd);
    g.DataLoaded = 1;

    ReceiveProbe probe;
    probe.Attach(window);
    std::vector<RunFigures> figures;
    Turnarounds turnarounds;
    for (int run = 0; run < runs; ++run) {
      farm.ForEach([](SimUnit& unit) {
        unit.SetBlank();
        unit.ClearLog();
      });
      probe.Clear();
      const auto start = Clock::now();
      window.AutoSpdBtn->click();
      if (!WaitFor(AllIdle)) {
        std::fprintf(stderr, "run %d did not end\n", run + 1);
        exitCode = 1;
        break;
      }
      const double wallMs = std::chrono::duration<double, std::milli>(probe.ended - start).count();
      double floorMs = 0;
      for (size_t ch = 0; ch < kUnits; ++ch) {
        size_t sent = 0;
        const std::vector<SimPacket> log = farm.Unit(ch).Log();
        for (const SimPacket& packet : log) sent += FramedBytes(packet.bytes);
        const double gapMs = window.SPComm[ch]->ReadIntervalTimeout();
        turnarounds.Add(log, probe.deliveredAt[ch],
                        std::chrono::milliseconds(window.SPComm[ch]->ReadIntervalTimeout()));
        const double channelMs = (sent + probe.bytes[ch]) * kMicrosPerByte / 1000 + gapMs * probe.blocks[ch];
        floorMs = std::max(floorMs, channelMs);
        if (farm.Unit(ch).ReadFlash(0, kImageBytes) != image) {
          std::fprintf(stderr, "run %d: unit %zu does not hold the image\n", run + 1, ch + 1);
          exitCode = 1;
        }
      }
      figures.push_back({wallMs, floorMs});
      std::printf("run %d: wall %.1f ms, floor %.1f ms, ratio %.3f\n", run + 1, wallMs, floorMs, wallMs / floorMs);
    }
    if (!figures.empty()) {
      std::sort(figures.begin(), figures.end(),
                [](const RunFigures& a, const RunFigures& b) { return a.wallMs < b.wallMs; });
      const RunFigures& median = figures[figures.size() / 2];
      std::printf("turnaround parts: gap end to delivery %.1f us, delivery to next command %.1f us\n",
                  Median(turnarounds.toDeliveryUs), Median(turnarounds.toNextCommandUs));
      std::printf("auto program 8 channels: wall %.1f ms, floor %.1f ms, ratio %.3f, turnaround %.1f us",
                  median.wallMs, median.floorMs, median.wallMs / median.floorMs, Median(turnarounds.wholeUs));
      if (adapterLatencyMs > 0) std::printf(", adapter latency %d ms", adapterLatencyMs);
      std::printf("\n");
    }
    window.close();
    g.OrvantBEMxPrg = nullptr;
  }
  SetProgramFolderForTest("");
  return exitCode;
}
