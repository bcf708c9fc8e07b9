// The unattended download inside the real main window, with its real timers
// and serial components, against simulated units on pseudo-terminals: what a
// channel whose unit stops answering shows, which the running program only
// shows on its screen.
#include <QCoreApplication>
#include <QEventLoop>
#include <algorithm>
#include <chrono>
#include <functional>

#include "link/wire.h"
#include "support/build_dir.h"
#include "support/main_window_fixture.h"
#include "support/sim_unit_farm.h"
#include "support/unattended_job.h"
#include "toolkit/gui_queue.h"
#include "toolkit/qt/gauge_widget.h"

namespace {

using namespace std::chrono_literals;

constexpr size_t kUnits = 4;
// A silent unit times out within 1,000 ticks of 10 ms; the rest is margin
// for slow (sanitizer) builds, inside ctest's 60 s a test.
constexpr auto kRunLimit = 40s;

class UnattendedWindowTest : public MainWindowTest {
protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    const UnattendedJob made = PrepareUnattendedJob(folder, TestBuildDir(), 21);
    job = made.path;
    image = made.image;
    farm = std::make_unique<SimUnitFarm>(kUnits);
    farm->WriteConfig(folder);
  }
  void TearDown() override {
    window.reset();  // closes the ports before the units go
    farm.reset();
    MainWindowTest::TearDown();
  }

  // Runs the window's event loop and the serial notifications until `done`
  // holds; false at the limit.
  static bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      TheGuiQueue().Drain();
    }
    return true;
  }
  bool Logged(const std::string& text) {
    return std::any_of(LogLines().begin(), LogLines().end(),
                       [&](const std::string& line) { return line.find(text) != std::string::npos; });
  }
  bool TookTheJob(size_t ch) const { return farm->Unit(ch).DownloadedFlash(0, kUnattendedChipBytes) == image; }

  std::string job;
  std::vector<uint8_t> image;
  std::unique_ptr<SimUnitFarm> farm;
};

TEST_F(UnattendedWindowTest, SilentUnitTimesOutRedWhileTheOthersFinishAndTheRunStaysOpen) {
  farm->Unit(1).AddFault(SilenceInTheDownload());
  window->SetCommandLine({job, "OFF"});
  window->show();
  ASSERT_TRUE(RunUntil([&] { return Logged("C2 ：操作超时！"); }, kRunLimit));
  EXPECT_EQ(window->Gauges[1]->Model().ForeColor(), clRed);
  EXPECT_EQ(g.ChannelBusy[1], 0);
  // They finish long before the silent channel times out, unless a loaded
  // machine holds the event loop back.
  ASSERT_TRUE(RunUntil([&] { return TookTheJob(0) && TookTheJob(2) && TookTheJob(3); }, kRunLimit))
      << "the other units never took the job";
  EXPECT_FALSE(TookTheJob(1));
  EXPECT_EQ(g.FoundDevices, kUnits);
  EXPECT_EQ(g.DownloadOkCount, kUnits - 1);
  RunUntil([] { return false; }, 200ms);
  EXPECT_TRUE(window->isVisible());
  EXPECT_FALSE(std::filesystem::exists(folder + "ResDW.Txt"));
  for (size_t ch : {0u, 2u, 3u}) EXPECT_EQ(window->Gauges[ch]->Model().ForeColor(), clBlue) << ch;
}

}  // namespace
