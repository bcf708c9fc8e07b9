#pragma once
// Eight simulated units on real pseudo-terminals, named in the program's
// settings file, and the real main window offscreen with its event loop
// delivering what the serial components receive. The test drives the window's
// own buttons and dialogs and waits, bounded, for what the units and the
// window show.

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/checksums.h"
#include "catalogue/qt/chip_select_form.h"
#include "console/support/main_window_fixture.h"
#include "link/firmware.h"
#include "link/operation_steps.h"
#include "link/wire.h"
#include "simunit/firmware_builder.h"
#include "support/sim_unit_farm.h"
#include "toolkit/format.h"
#include "toolkit/gauge.h"
#include "toolkit/qt/gauge_widget.h"
#include "toolkit/qt/qt_bindings.h"
#include "toolkit/scripted_dialogs.h"

using Bytes = std::vector<uint8_t>;

inline constexpr size_t kUnits = 8;
inline constexpr uint32_t kImageBytes = 32 * 1024;
// Room for a run in a sanitizer build; CTest ends any test at 60 s.
inline constexpr auto kRunLimit = std::chrono::seconds(30);

// Image bytes with every value, frame ends and escapes among them.
inline Bytes PatternImage(uint32_t n, uint32_t seed = 1) {
  Bytes image(n);
  uint32_t x = seed * 2654435761u + 1;
  for (uint32_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    image[i] = static_cast<uint8_t>(x >> 16);
  }
  return image;
}

// Upgrades a unit was sent to the end: each ends with its finish packet.
inline size_t FinishesReceived(const SimUnit& unit) {
  const std::vector<SimPacket> log = unit.Log();
  return static_cast<size_t>(std::count_if(log.begin(), log.end(), [](const SimPacket& packet) {
    return packet.Command() == kCmdFirmwareFinish;
  }));
}

class EightChannelTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    BindGuiQueueToEventLoop();
    farm = std::make_unique<SimUnitFarm>(kUnits, kLineBaud);
    farm->WriteConfig(folder);
    PlaceFirmware(firmwareBody, "V1.0");
  }
  void TearDown() override {
    window->close();
    farm->StopAll();
    MainWindowTest::TearDown();
    farm.reset();
  }

  void PlaceFirmware(const Bytes& body, const std::string& version) {
    const Bytes file = BuildFirmwareImage(body, version);
    std::ofstream(folder + "GenXBEM.FWR", std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  }

  // Runs the event loop until done holds or the limit passes.
  bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = kRunLimit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
  }
  // Keeps the event loop running for a while, as a person waits and watches.
  void RunFor(std::chrono::milliseconds span) {
    WaitFor([] { return false; }, span);
  }

  // The window as the program shows it, then the search button until every
  // unit named in the settings file is linked.
  void ShowAndSearch(size_t expectFound = kUnits) {
    window->show();
    // The search is the test's to start.
    window->Timer2->stop();
    ASSERT_EQ(g.PortsFromConfig, 1);
    ASSERT_EQ(g.DeviceCount, kUnits);
    Search(expectFound);
  }
  void Search(size_t expectFound = kUnits) {
    window->BitBtnFindDev->click();
    ASSERT_TRUE(WaitFor([&] { return g.FoundDevices >= expectFound && AllIdle(); })) << "found " << int{g.FoundDevices};
  }

  // The chip chosen in the real chip dialog, opened by the chip button: the
  // series and the chip's row clicked, OK pressed.
  void ChooseChip(const QString& name) {
    ModalHook previous = SetModalHook([&](QDialog& dialog) {
      dialog.show();
      auto* chips = dynamic_cast<TChipSelectForm*>(&dialog);
      EXPECT_NE(chips, nullptr);
      if (chips == nullptr) return int{QDialog::Rejected};
      chips->ListBoxSeries->setCurrentRow(0);
      emit chips->ListBoxSeries->itemClicked(chips->ListBoxSeries->item(0));
      const auto found = chips->ListBoxChips->findItems(name, Qt::MatchExactly);
      EXPECT_EQ(found.size(), 1);
      if (!found.isEmpty()) {
        chips->ListBoxChips->setCurrentItem(found[0]);
        emit chips->ListBoxChips->itemClicked(found[0]);
      }
      chips->BitBtnOK->click();
      return dialog.result();
    });
    window->DevButton->click();
    SetModalHook(std::move(previous));
    ASSERT_EQ(g.ChipSelected, 1);
    ASSERT_EQ(window->MCUNameEdit->text(), name);
  }

  // Serial numbers from first, step by step, advanced by the program after
  // each good run.
  void NumberChips(uint32_t first, uint16_t step) {
    window->CheckBoxSN->setChecked(true);
    window->ChkBoxPCSN->setChecked(true);
    window->SNEdit1->setText(QString::fromStdString(Format("0x%0.8x", {first})));
    window->GainEdit->setText(QString::fromStdString(Format("0x%0.2x", {step})));
  }

  // A data file of the program folder holding bytes, loaded as the operator
  // loads it: chosen in the load button's dialog (no offset dialog here, so a
  // binary file goes to offset 0). Its path.
  std::string LoadFile(const std::string& name, const Bytes& bytes) {
    const std::string path = folder + name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    files.Choose(path);
    window->SpdBtnOpen->click();
    return path;
  }
  // The flash range of the image the window holds.
  static Bytes Held() { return Bytes(g.FlashImage, g.FlashImage + kImageBytes); }

  // The image in FlashImage with its checksums, as a data-file load leaves it.
  void LoadImage(const Bytes& image) {
    std::copy(image.begin(), image.end(), g.FlashImage);
    std::fill(g.FlashImage + image.size(), g.FlashImage + g.RomSizeKB * 1024u, 0xFF);
    g.ImageCrc16 = Crc16Range(g.FlashImage, g.FlashStart, g.FlashEnd);
    g.ImageSum32 = SumRange(g.FlashImage, g.FlashStart, g.FlashEnd);
    g.ImageSum16 = static_cast<uint16_t>(g.ImageSum32);
    g.DataLoaded = 1;
  }

  // Chip, image and units ready for a run.
  void PrepareRun() {
    ShowAndSearch();
    ChooseChip("FU6813N");
    ASSERT_EQ(g.RomSizeKB, kImageBytes / 1024);
    ASSERT_EQ(g.InterfaceFlags & 0x20, 0);
    LoadImage(image);
  }

  // Auto Program on every unit, to its end: each must hold the image, say
  // so and end blue.
  void AutoProgramAllGood() {
    window->AutoSpdBtn->click();
    ASSERT_TRUE(WaitFor([&] { return AllIdle(); }));
    for (size_t ch = 0; ch < kUnits; ++ch) {
      SCOPED_TRACE(testing::Message() << "channel " << ch);
      EXPECT_EQ(farm->Unit(ch).ReadFlash(0, kImageBytes), image);
      EXPECT_TRUE(ChannelLogged(ch, "自动编程操作成功！"));
      EXPECT_EQ(Gauge(ch).ForeColor(), clBlue);
    }
  }

  bool AllIdle() const {
    for (size_t ch = 0; ch < kUnits; ++ch)
      if (g.ChannelBusy[ch] != 0) return false;
    return true;
  }
  bool IdleExcept(std::initializer_list<size_t> left) const {
    for (size_t ch = 0; ch < kUnits; ++ch)
      if (std::find(left.begin(), left.end(), ch) == left.end() && g.ChannelBusy[ch] != 0) return false;
    return true;
  }

  // Whether the window log holds a line of channel ch (0-based) ending in text.
  bool ChannelLogged(size_t ch, const std::string& text) const {
    const std::string tail = " C" + std::to_string(ch + 1) + ": " + text;
    for (const std::string& line : window->InfoMemo().Lines())
      if (line.size() >= tail.size() && line.compare(line.size() - tail.size(), tail.size(), tail) == 0) return true;
    return false;
  }
  TGauge& Gauge(size_t ch) { return window->Gauges[ch]->Model(); }

  std::unique_ptr<SimUnitFarm> farm;
  ScriptedFileDialogs files;
  const Bytes image = PatternImage(kImageBytes);
  const Bytes firmwareBody = PatternImage(9000, 7);
};
