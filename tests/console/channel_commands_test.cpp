// The six step commands through the window's own buttons and menu entries:
// their guards, their table (log line, page, focus, settings, loop count,
// Auto chain), the channels they leave alone, and the keys that run Auto
// Program.
#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <set>
#include <string>

#include "link/wire.h"
#include "support/command_fixture.h"
#include "toolkit/errors.h"

namespace {

enum class Loop { DeviceCount, FoundDevices };

struct StepCommandCase {
  const char* name;
  QToolButton* TOrvantBEMxPrg::*button;
  QAction* TOrvantBEMxPrg::*entry;
  void (TOrvantBEMxPrg::*handler)(QObject*);
  bool emptyLogLine;
  bool takesFocus;
  bool dataGuard;
  bool readsSettings;
  Loop loop;
  uint8_t autoAfter;  // ChannelAuto of a started channel that had it set
  TChannelState state;
  uint8_t command;
  uint16_t argument;
};

void PrintTo(const StepCommandCase& c, std::ostream* os) { *os << c.name; }

// clang-format off
const StepCommandCase kStepCommands[] = {
  // name        button                           menu entry                         handler                               log    focus  data   reads  loop            auto state                         command           argument
  {"AutoProgram", &TOrvantBEMxPrg::AutoSpdBtn,     &TOrvantBEMxPrg::AutoProgram1,     &TOrvantBEMxPrg::AutoSpdBtnClick,     true,  true,  true,  true,  Loop::DeviceCount,  1, TChannelState::BlankCheck,    kCmdOperation,    kOpBlankCheck},
  {"Download",    &TOrvantBEMxPrg::SpdBtnDownLoad, &TOrvantBEMxPrg::Download1,        &TOrvantBEMxPrg::SpdBtnDownLoadClick, true,  true,  true,  true,  Loop::FoundDevices, 1, TChannelState::DownloadStart, kCmdOfflineInfo,  0},
  {"BlankCheck",  &TOrvantBEMxPrg::SpdBtnBlankChk, &TOrvantBEMxPrg::BlankCheck1,      &TOrvantBEMxPrg::SpdBtnBlankChkClick, false, false, false, true,  Loop::FoundDevices, 0, TChannelState::BlankCheck,    kCmdOperation,    kOpBlankCheck},
  {"Erase",       &TOrvantBEMxPrg::SpdBtnErase,    &TOrvantBEMxPrg::EraseChip1,       &TOrvantBEMxPrg::SpdBtnEraseClick,    false, false, false, true,  Loop::FoundDevices, 0, TChannelState::Erase,         kCmdOperation,    kOpErase},
  {"Program",     &TOrvantBEMxPrg::SpdBtnProg,     &TOrvantBEMxPrg::Programming1,     &TOrvantBEMxPrg::SpdBtnProgClick,     false, false, true,  false, Loop::FoundDevices, 0, TChannelState::ProgramFlash,  kCmdProgramFlash, 0},
  {"Verify",      &TOrvantBEMxPrg::SpdBtnVerify,   &TOrvantBEMxPrg::VeriufyDownload1, &TOrvantBEMxPrg::SpdBtnVerifyClick,   false, true,  true,  true,  Loop::FoundDevices, 0, TChannelState::VerifyFlash,   kCmdOperation,    kOpVerify},
};
// clang-format on

class StepCommandTest : public CommandTest, public ::testing::WithParamInterface<StepCommandCase> {
 protected:
  void Press() { (window.get()->*GetParam().button)->click(); }

  // The channel started the command's step: its state, busy, and the first
  // command on its line.
  void ExpectStarted(int ch) {
    SCOPED_TRACE(testing::Message() << "channel " << ch);
    const StepCommandCase& c = GetParam();
    EXPECT_EQ(g.ChannelState[ch], c.state);
    EXPECT_EQ(g.ChannelBusy[ch], 1);
    std::optional<std::vector<uint8_t>> packet = ReadPacket(*lines[ch]);
    ASSERT_TRUE(packet.has_value());
    EXPECT_EQ(PacketCommand(*packet), c.command);
    // The download's argument is a random key.
    if (c.command != kCmdOfflineInfo) {
      EXPECT_EQ(PacketArgument(*packet), c.argument);
    }
  }
  void ExpectNotStarted(int ch, TChannelState stateBefore) {
    SCOPED_TRACE(testing::Message() << "channel " << ch);
    EXPECT_EQ(g.ChannelState[ch], stateBefore);
    if (lines[ch]) {
      EXPECT_TRUE(LineStaysQuiet(*lines[ch]));
    }
  }
};

TEST_P(StepCommandTest, WithoutAChipSaysSoAndStartsNothing) {
  g.ChipSelected = 0;
  LinkChannel(0);
  g.FoundDevices = 1;
  window->ViewPageCtrl->setCurrentWidget(window->TabSheetFlash);
  Press();
  ASSERT_EQ(boxes.Shown().size(), 1u);
  EXPECT_EQ(boxes.Shown()[0].text, "请选择并确认芯片型号！");
  EXPECT_EQ(boxes.Shown()[0].type, MsgDlgType::Information);
  EXPECT_EQ(boxes.Shown()[0].buttons, unsigned{mbOK});
  EXPECT_EQ(boxes.Shown()[0].caption, "Information");
  // The page changes before the guard.
  EXPECT_EQ(window->ViewPageCtrl->currentWidget(), window->ChipSett);
  EXPECT_EQ(g.ChannelBusy[0], 0);
  ExpectNotStarted(0, TChannelState::Idle);
}

TEST_P(StepCommandTest, WithoutDataOnlyTheCommandsThatSendNoImageGoOn) {
  g.DataLoaded = 0;
  LinkChannel(0);
  g.FoundDevices = 1;
  Press();
  if (GetParam().dataGuard) {
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"请加载目标文件！"});
    ExpectNotStarted(0, TChannelState::Idle);
  } else {
    EXPECT_TRUE(boxes.Texts().empty());
    ExpectStarted(0);
  }
}

// Three channels in use, two units found; units on channels 0 and 2.
TEST_P(StepCommandTest, StartsTheLinkedIdleChannelsBelowItsCount) {
  g.DeviceCount = 3;
  g.FoundDevices = 2;
  LinkChannel(0);
  LinkChannel(2);
  OpenLine(1);  // a port without an identified unit
  auto* edit = new QLineEdit(window->ChipSett);
  edit->setFocus();
  const size_t before = LogCount();
  Press();
  EXPECT_TRUE(boxes.Texts().empty());
  const StepCommandCase& c = GetParam();
  ExpectStarted(0);
  if (c.loop == Loop::DeviceCount)
    ExpectStarted(2);
  else
    ExpectNotStarted(2, TChannelState::Idle);
  ExpectNotStarted(1, TChannelState::Unidentified);
  ASSERT_GT(LogCount(), before);
  EXPECT_EQ(LogLines()[before] == "", c.emptyLogLine);
  EXPECT_EQ(window->ViewPageCtrl->currentWidget(), window->ChipSett);
  EXPECT_EQ(window->focusWidget() == window->PanelBtns, c.takesFocus);
}

// No unit found yet: reading the settings counts one, so channel 0 is tried.
TEST_P(StepCommandTest, ReadingTheSettingsCountsOneUnitWhenNoneWasFound) {
  g.DeviceCount = 1;
  g.FoundDevices = 0;
  LinkChannel(0);
  Press();
  const StepCommandCase& c = GetParam();
  EXPECT_EQ(g.FoundDevices, c.readsSettings ? 1 : 0);
  if (c.readsSettings || c.loop == Loop::DeviceCount)
    ExpectStarted(0);
  else
    ExpectNotStarted(0, TChannelState::Idle);
}

// Channel 1 is in the middle of programming with part of a reply received;
// channel 2 has no unit. Neither may lose its received bytes or its chain.
TEST_P(StepCommandTest, BusyAndUnlinkedChannelsKeepTheirReplyAndChain) {
  g.DeviceCount = 3;
  g.FoundDevices = 3;
  LinkChannel(0);
  LinkChannel(1);
  MakeBusy(1, TChannelState::ProgramFlash);
  OpenLine(2);
  for (int ch = 0; ch < 3; ++ch) {
    g.RxCount[ch] = static_cast<uint16_t>(10 + ch);
    g.ChannelAuto[ch] = 1;
  }
  g.BlockIndex[1] = 8;
  Press();
  ExpectStarted(0);
  EXPECT_EQ(g.RxCount[0], 0);
  EXPECT_EQ(g.ChannelAuto[0], GetParam().autoAfter);
  ExpectNotStarted(1, TChannelState::ProgramFlash);
  EXPECT_EQ(g.RxCount[1], 11);
  EXPECT_EQ(g.ChannelAuto[1], 1);
  EXPECT_EQ(g.BlockIndex[1], 8);
  ExpectNotStarted(2, TChannelState::Unidentified);
  EXPECT_EQ(g.RxCount[2], 12);
  EXPECT_EQ(g.ChannelAuto[2], 1);
}

// Nine ports listed: the loops end at the eighth channel.
TEST_P(StepCommandTest, NoLoopPassesTheLastChannel) {
  g.DeviceCount = 9;
  g.FoundDevices = 9;
  for (int ch = 0; ch < kChannels; ++ch) LinkChannel(ch);
  g.ChannelLinked[kChannels] = 1;
  g.RxCount[kChannels] = 7;
  Press();
  for (int ch = 0; ch < kChannels; ++ch) ExpectStarted(ch);
  EXPECT_EQ(g.ChannelState[kChannels], TChannelState::Unidentified);
  EXPECT_EQ(g.ChannelBusy[kChannels], 0);
  EXPECT_EQ(g.RxCount[kChannels], 7);
}

TEST_P(StepCommandTest, TheMenuEntryRunsTheSameCommand) {
  LinkChannel(0);
  g.FoundDevices = 1;
  (window.get()->*GetParam().entry)->trigger();
  ExpectStarted(0);
}

// A number field that holds no number: the commands that read the settings
// end with the conversion error before they start anything.
TEST_P(StepCommandTest, ANumberFieldWithoutANumberStopsTheCommandsThatReadTheSettings) {
  LinkChannel(0);
  g.FoundDevices = 1;
  window->GainEdit->setText("12x");
  const StepCommandCase& c = GetParam();
  if (c.readsSettings) {
    try {
      (window.get()->*c.handler)(nullptr);
      ADD_FAILURE() << "no conversion error";
    } catch (const EConvertError& error) {
      EXPECT_STREQ(error.what(), "'12x' is not a valid integer value");
    }
    ExpectNotStarted(0, TChannelState::Idle);
  } else {
    (window.get()->*c.handler)(nullptr);
    ExpectStarted(0);
  }
}

INSTANTIATE_TEST_SUITE_P(Commands, StepCommandTest, ::testing::ValuesIn(kStepCommands),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Keys ---

struct KeyCase {
  const char* name;
  int key;
  const char* text;
  bool runsAuto;
};

void PrintTo(const KeyCase& c, std::ostream* os) { *os << c.name; }

class KeyPressTest : public CommandTest, public ::testing::WithParamInterface<KeyCase> {};

// The window as a person has it: shown, with the focus in an edit box.
TEST_P(KeyPressTest, AKeyTypedIntoAnEditBoxReachesItAndMayRunAutoProgram) {
  auto* edit = new QLineEdit(window->ChipSett);
  ASSERT_TRUE(ShowWithFocusIn(edit));

  const KeyCase& c = GetParam();
  QKeyEvent press(QEvent::KeyPress, c.key, Qt::NoModifier, QString::fromLatin1(c.text));
  QApplication::sendEvent(edit, &press);
  if (c.key != Qt::Key_Return) {
    EXPECT_EQ(edit->text(), QString::fromLatin1(c.text));
  }
  if (c.runsAuto) {
    EXPECT_EQ(g.ChannelState[0], TChannelState::BlankCheck);
    EXPECT_EQ(g.ChannelAuto[0], 1);
    std::optional<std::vector<uint8_t>> packet = ReadPacket(*lines[0]);
    ASSERT_TRUE(packet.has_value());
    EXPECT_EQ(PacketArgument(*packet), kOpBlankCheck);
  } else {
    EXPECT_EQ(g.ChannelState[0], TChannelState::Idle);
    EXPECT_TRUE(LineStaysQuiet(*lines[0]));
  }
}

TEST_P(KeyPressTest, TheKeyIsLeftAsItCame) {
  char key = GetParam().text[0];
  const char before = key;
  window->FormKeyPress(nullptr, key);
  EXPECT_EQ(key, before);
}

const KeyCase kKeys[] = {
    {"Space", Qt::Key_Space, " ", true},
    {"Enter", Qt::Key_Return, "\r", true},
    {"Letter", Qt::Key_A, "a", false},
};

INSTANTIATE_TEST_SUITE_P(Keys, KeyPressTest, ::testing::ValuesIn(kKeys),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
