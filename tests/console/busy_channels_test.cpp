// While any channel works, the commands that change the job (the flash and
// EEP images, the chip and its parameters) refuse with one log line and
// change nothing: no dialog opens, no file is read, nothing is sent. While a
// chip read fills the image, the commands that send it refuse the same way.
#include <QAction>
#include <QDialog>
#include <QLineEdit>
#include <QTabWidget>
#include <QToolButton>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "catalogue/chip_catalogue.h"
#include "console/command_guards.h"
#include "console/config_sn_form.h"
#include "support/command_fixture.h"
#include "toolkit/qt/qt_bindings.h"
#include "toolkit/scripted_dialogs.h"

namespace {

struct JobCommand {
  const char* name;
  // file: a data file that a load dialog or the command line would give.
  std::function<void(TOrvantBEMxPrg&, TConfigSNForm&, const std::string& file)> run;
};

void PrintTo(const JobCommand& c, std::ostream* os) { *os << c.name; }

// clang-format off
const JobCommand kJobCommands[] = {
  {"LoadData",       [](TOrvantBEMxPrg& w, TConfigSNForm&, const std::string&) { w.FileOpenBtnClick(nullptr); }},
  {"LoadMoreData",   [](TOrvantBEMxPrg& w, TConfigSNForm&, const std::string&) { w.SpdBtnLoadMoreClick(nullptr); }},
  {"OpenProject",    [](TOrvantBEMxPrg& w, TConfigSNForm&, const std::string&) { w.SpdBtnLdPrjClick(nullptr); }},
  // As the start-up timer opens the command line's project.
  {"OpenNamedFile",  [](TOrvantBEMxPrg& w, TConfigSNForm&, const std::string& f) { w.OpenProject(f); }},
  {"ChipButton",     [](TOrvantBEMxPrg& w, TConfigSNForm&, const std::string&) { w.DevButtonClick(nullptr); }},
  {"FixedSerialOk",  [](TOrvantBEMxPrg&, TConfigSNForm& f, const std::string&) { f.BitBtnOKClick(nullptr); }},
  {"ReadChipMemory", [](TOrvantBEMxPrg& w, TConfigSNForm&, const std::string&) { w.ReadChipMemory1->trigger(); }},
};
// clang-format on

struct BusyChannel {
  const char* name;
  int channel;
  TChannelState state;
};

void PrintTo(const BusyChannel& c, std::ostream* os) { *os << c.name; }

// clang-format off
const BusyChannel kBusyChannels[] = {
  {"ProgramOnChannel4",  3, TChannelState::ProgramFlash},
  {"DownloadOnChannel2", 1, TChannelState::DownloadFlash},
  {"ReadOnChannel1",     0, TChannelState::ReadFlash},
  {"UpgradeOnChannel8",  7, TChannelState::FirmwareUpgrade},
};
// clang-format on

// What a refused command must leave as it was.
struct Job {
  std::vector<uint8_t> flash, eep;
  std::string chipName, chipShown;
  uint8_t chipSelected, dataLoaded, chipType;
  uint16_t romSizeKB, imageCrc16, imagePacketCrc, imageSum16;
  uint32_t flashEnd, imageSum32;
  std::string panel2;
  bool operator==(const Job&) const = default;
};

class BusyChannelsTest : public CommandTest,
                         public ::testing::WithParamInterface<std::tuple<JobCommand, BusyChannel>> {
 protected:
  void SetUp() override {
    CommandTest::SetUp();
    SetChipParams("FU6813P");
    CommitChipSelection("FU6813P");
    g.DataLoaded = 1;
    for (uint32_t i = 0; i < 0x8000; ++i) g.FlashImage[i] = static_cast<uint8_t>(i * 13 + 5);
    for (uint32_t i = 0; i < 256; ++i) g.EepImage[i] = static_cast<uint8_t>(i ^ 0x5A);
    g.ImageCrc16 = 0x1234, g.ImagePacketCrc = 0x5678, g.ImageSum32 = 0x9ABCDEF0, g.ImageSum16 = 0xDEF0;
    window->MCUNameEdit->setText("FU6813P");
    g.OrvantBEMxPrg = window.get();
    serialForm = std::make_unique<TConfigSNForm>(window.get());
    g.ConfigSNForm = serialForm.get();
    serialForm->AddrEditSN->setText("0x00000100");
    serialForm->EditDataSN->setText("SN-0001");
    // The file a load dialog gives, once one opens.
    const std::vector<uint8_t> other(0x400, 0xA5);
    std::ofstream(otherFile, std::ios::binary)
        .write(reinterpret_cast<const char*>(other.data()), static_cast<std::streamsize>(other.size()));
    files.Choose(otherFile);
    previousHook = SetModalHook([this](QDialog& form) {
      shownForms.push_back(form.objectName().toStdString());
      return int{QDialog::Rejected};
    });
    LinkChannel(0);
  }
  void TearDown() override {
    SetModalHook(std::move(previousHook));
    g.ConfigSNForm = nullptr;
    serialForm.reset();
    CommandTest::TearDown();
  }

  Job Snapshot() const {
    return Job{std::vector<uint8_t>(g.FlashImage, g.FlashImage + 0x8000),
               std::vector<uint8_t>(g.EepImage, g.EepImage + 0x4000),
               g.ChipName, window->MCUNameEdit->text().toStdString(),
               g.ChipSelected, g.DataLoaded, g.ChipType, g.RomSizeKB, g.ImageCrc16, g.ImagePacketCrc, g.ImageSum16,
               g.FlashEnd, g.ImageSum32, window->StatusPanelText(2)};
  }

  const std::string otherFile = folder + "other.bin";
  ScriptedFileDialogs files;
  std::unique_ptr<TConfigSNForm> serialForm;
  std::vector<std::string> shownForms;
  ModalHook previousHook;
};

TEST_P(BusyChannelsTest, RefusesWithOneLineAndChangesNothing) {
  const auto& [command, busy] = GetParam();
  MakeBusy(busy.channel, busy.state);
  const Job before = Snapshot();
  const size_t logBefore = LogCount();

  command.run(*window, *serialForm, otherFile);

  EXPECT_EQ(Snapshot(), before);
  ASSERT_EQ(LogCount(), logBefore + 1);
  EXPECT_EQ(LogLines().back(), std::string("> 14:03:22 ") + kChannelsBusyText);
  EXPECT_TRUE(boxes.Texts().empty());
  EXPECT_TRUE(files.Opened().empty());
  EXPECT_TRUE(shownForms.empty());
  EXPECT_NE(serialForm->result(), QDialog::Accepted);
  EXPECT_TRUE(LineStaysQuiet(*lines[0]));
  EXPECT_EQ(g.ChannelState[busy.channel], busy.state);
  EXPECT_EQ(g.ChannelBusy[busy.channel], 1);
}

INSTANTIATE_TEST_SUITE_P(Commands, BusyChannelsTest,
                         ::testing::Combine(::testing::ValuesIn(kJobCommands), ::testing::ValuesIn(kBusyChannels)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) + "While" + std::get<1>(info.param).name;
                         });

// Once every channel is idle again the same commands go ahead: the load and
// project dialogs open (the first load reads its file), the named file is
// read (and refused: no project), the chip dialog shows, the serial data are
// written and the chip read is sent.
TEST_F(BusyChannelsTest, EveryCommandGoesAheadOnceTheChannelsAreIdle) {
  MakeBusy(3, TChannelState::ProgramFlash);
  g.ChannelBusy[3] = 0;
  g.ChannelState[3] = TChannelState::Idle;
  files.Cancel();
  files.Cancel();
  for (const JobCommand& command : kJobCommands) {
    SCOPED_TRACE(command.name);
    command.run(*window, *serialForm, otherFile);
  }
  for (const std::string& line : LogLines()) EXPECT_EQ(line.find(kChannelsBusyText), std::string::npos) << line;
  EXPECT_EQ(files.Opened().size(), 3u);
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Not a Valid Tesmar Project File!"});
  EXPECT_EQ(shownForms, std::vector<std::string>{"ChipSelectForm"});
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(g.FlashImage + 0x100), 7), "SN-0001");
  EXPECT_EQ(g.ChannelState[0], TChannelState::ReadFlash);
  EXPECT_FALSE(LineStaysQuiet(*lines[0]));
}

// --- While a chip read fills the image ---

struct StepButton {
  const char* name;
  QToolButton* TOrvantBEMxPrg::*button;
  bool sendsImage;
  TChannelState started;  // the state of a channel it starts
};

void PrintTo(const StepButton& c, std::ostream* os) { *os << c.name; }

// clang-format off
const StepButton kStepButtons[] = {
  {"AutoProgram", &TOrvantBEMxPrg::AutoSpdBtn,     true,  TChannelState::BlankCheck},
  {"Download",    &TOrvantBEMxPrg::SpdBtnDownLoad, true,  TChannelState::DownloadStart},
  {"Program",     &TOrvantBEMxPrg::SpdBtnProg,     true,  TChannelState::ProgramFlash},
  {"Verify",      &TOrvantBEMxPrg::SpdBtnVerify,   true,  TChannelState::VerifyFlash},
  {"BlankCheck",  &TOrvantBEMxPrg::SpdBtnBlankChk, false, TChannelState::BlankCheck},
  {"Erase",       &TOrvantBEMxPrg::SpdBtnErase,    false, TChannelState::Erase},
};

const BusyChannel kChipReads[] = {
  {"FlashReadOnChannel1", 0, TChannelState::ReadFlash},
  {"EepReadOnChannel3",   2, TChannelState::ReadEep},
};
// clang-format on

class ImageBeingReadTest : public CommandTest,
                           public ::testing::WithParamInterface<std::tuple<StepButton, BusyChannel>> {};

// The read's channel is busy with it; the other three of four are linked and idle.
TEST_P(ImageBeingReadTest, TheCommandsThatSendTheImageOnlySayWhy) {
  const auto& [command, read] = GetParam();
  constexpr int kChannelsInUse = 4;
  g.DeviceCount = kChannelsInUse;
  g.FoundDevices = kChannelsInUse;
  for (int ch = 0; ch < kChannelsInUse; ++ch) {
    LinkChannel(ch);
    g.RxCount[ch] = 3;
    g.ChannelAuto[ch] = 1;
  }
  MakeBusy(read.channel, read.state);
  window->ViewPageCtrl->setCurrentWidget(window->TabSheetFlash);
  const size_t logBefore = LogCount();

  (window.get()->*command.button)->click();

  EXPECT_TRUE(boxes.Texts().empty());
  EXPECT_EQ(g.ChannelState[read.channel], read.state);
  EXPECT_EQ(g.ChannelBusy[read.channel], 1);
  for (int ch = 0; ch < kChannelsInUse; ++ch) {
    if (ch == read.channel) continue;
    SCOPED_TRACE(testing::Message() << "channel " << ch);
    if (command.sendsImage) {
      EXPECT_EQ(g.ChannelState[ch], TChannelState::Idle);
      EXPECT_EQ(g.ChannelBusy[ch], 0);
      EXPECT_EQ(g.RxCount[ch], 3);
      EXPECT_EQ(g.ChannelAuto[ch], 1);
      EXPECT_TRUE(LineStaysQuiet(*lines[ch]));
    } else {
      EXPECT_EQ(g.ChannelState[ch], command.started);
      EXPECT_EQ(g.ChannelBusy[ch], 1);
      EXPECT_TRUE(ReadPacket(*lines[ch]).has_value());
    }
  }
  if (command.sendsImage) {
    // Nothing but the line: no empty line, no page switch, no settings line.
    ASSERT_EQ(LogCount(), logBefore + 1);
    EXPECT_EQ(LogLines().back(), std::string("> 14:03:22 ") + kImageBeingReadText);
    EXPECT_EQ(window->ViewPageCtrl->currentWidget(), window->TabSheetFlash);
  } else {
    for (size_t i = logBefore; i < LogCount(); ++i)
      EXPECT_EQ(LogLines()[i].find(kImageBeingReadText), std::string::npos) << LogLines()[i];
  }
}

INSTANTIATE_TEST_SUITE_P(Commands, ImageBeingReadTest,
                         ::testing::Combine(::testing::ValuesIn(kStepButtons), ::testing::ValuesIn(kChipReads)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) + "While" + std::get<1>(info.param).name;
                         });

}  // namespace
