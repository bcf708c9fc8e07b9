#pragma once
// The main window with the channels bound, a chip chosen and data loaded, and
// units on real pseudo-terminals that a test links to channels; the test
// reads at each unit's end what the program sent.

#include <QApplication>
#include <QTimer>
#include <array>
#include <chrono>
#include <memory>

#include "catalogue/chip_catalogue.h"
#include "link/operation_steps.h"
#include "main_window_fixture.h"
#include "toolkit/gauge.h"
#include "toolkit/qt/gauge_widget.h"
#include "unit_line.h"

class CommandTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    window->InitChannels();
    g.LogMemo = &window->InfoMemo();
    ApplyStartUpChipValues();
    g.RomSizeKB = 32;
    g.ChipSelected = 1;
    g.DataLoaded = 1;
  }

  // The channel's port open on a line of its own; the unit is not identified.
  PtyPair& OpenLine(int ch) {
    lines[ch] = std::make_unique<PtyPair>();
    window->SPComm[ch]->SetCommName(lines[ch]->SlavePath());
    window->SPComm[ch]->OpenPort();
    return *lines[ch];
  }
  // The channel's unit identified and idle.
  PtyPair& LinkChannel(int ch) {
    PtyPair& line = OpenLine(ch);
    g.ChannelLinked[ch] = 1;
    g.ChannelState[ch] = TChannelState::Idle;
    return line;
  }
  // The channel in the middle of a step of its own.
  void MakeBusy(int ch, TChannelState state) {
    g.ChannelBusy[ch] = 1;
    g.ChannelState[ch] = state;
  }

  // The window as a person has it: shown, with the focus in `field`, and one
  // idle unit on channel 0 with a chip chosen and data loaded (showing the
  // window ran its start-up, which forgets chip and data). False when the
  // focus did not arrive.
  bool ShowWithFocusIn(QWidget* field) {
    window->show();
    window->Timer2->stop();
    g.ChipSelected = 1;
    g.DataLoaded = 1;
    g.DeviceCount = 1;
    LinkChannel(0);
    field->show();
    window->activateWindow();
    field->setFocus();
    // Room for a loaded machine; only a field that never takes focus waits it out.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!field->hasFocus() && std::chrono::steady_clock::now() < limit)
      QApplication::processEvents(QEventLoop::AllEvents, 20);
    return field->hasFocus();
  }

  TGauge& Gauge(int ch) { return window->Gauges[ch]->Model(); }
  size_t LogCount() { return LogLines().size(); }

  std::array<std::unique_ptr<PtyPair>, kChannelSlots> lines;
};
