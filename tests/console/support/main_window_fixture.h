#pragma once
// A main window over a clean process (the per-test reset), a temporary
// program folder, a pinned clock (8 December 2026, 14:03:22) and pinned locale formats
// (year-month-day, hours:minutes:seconds). Message boxes are scripted for the
// whole test.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "console/main_window.h"
#include "shared/state.h"
#include "simunit/firmware_builder.h"
#include "support/fake_port_tree.h"
#include "support/temp_folder.h"
#include "toolkit/clock.h"
#include "toolkit/program_folder.h"
#include "toolkit/qt/memo_view.h"
#include "toolkit/scripted_dialogs.h"

// A small valid firmware image at path: start-up loads it without a word.
inline void WriteUsableFirmwareImage(const std::string& path) {
  const std::vector<uint8_t> image = BuildFirmwareImage(std::vector<uint8_t>(16, 0x11), "V1.0");
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
}

class MainWindowTest : public ::testing::Test {
protected:
  void SetUp() override {
    SetProgramFolderForTest(folder);
    SetClockForTest([] { return MakeLocalTime(2026, 12, 8, 14, 3, 22); });
    SetLocaleFormatsForTest("%Y-%m-%d", "%H:%M:%S");
    window = std::make_unique<TOrvantBEMxPrg>();
    // The port listing sees only the ports a test puts into its own tree.
    window->PortSysfsRoot = ports.Sys();
    window->PortDeviceFolder = ports.Dev();
    g.OrvantBEMxPrg = window.get();
  }

  // The window goes before the folder it may still write into.
  void TearDown() override { window.reset(); }

  // Writes a file of the program folder, each line ended by CR LF.
  void WriteProgramFile(const std::string& name, std::initializer_list<std::string> lines) {
    std::ofstream out(folder + name, std::ios::binary);
    for (const std::string& line : lines) out << line << "\r\n";
  }
  // A firmware image file, so that start-up finds one.
  void PlaceFirmwareImage() { WriteUsableFirmwareImage(folder + "GenXBEM.FWR"); }

  // The window log's lines. The copy is made again only when the log changed,
  // so LogLines().begin() and LogLines().end() in one expression agree.
  const std::vector<std::string>& LogLines() {
    const TMemo& memo = window->InfoMemo();
    bool same = logLines_.size() == memo.Count();
    for (size_t i = 0; same && i < logLines_.size(); ++i) same = logLines_[i] == memo.Line(i);
    if (!same) logLines_ = memo.Lines();
    return logLines_;
  }

  // The rows the window log's view shows, read through its model.
  std::vector<std::string> ShownLogLines() const {
    std::vector<std::string> rows;
    const QAbstractItemModel* model = window->InfoMemoView->model();
    for (int row = 0; row < model->rowCount(); ++row)
      rows.push_back(model->index(row, 0).data().toString().toStdString());
    return rows;
  }

  ScriptedMessageBoxes boxes;
  FakePortTree ports;
  TempFolder programFolder{"orv_console_"};
  std::string folder = programFolder.Slashed();  // ends with '/'
  std::unique_ptr<TOrvantBEMxPrg> window;

private:
  std::vector<std::string> logLines_;
};
