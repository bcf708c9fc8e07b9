// The reads on channel 0 through the window's menu entries: what each sends
// and shows, that they ignore the channel counts and the link, the chip guard,
// and that none takes over channel 0 while a step runs there, but says why.
#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <string>

#include "console/command_guards.h"
#include "console/set_address_form.h"
#include "link/wire.h"
#include "support/command_fixture.h"
#include "toolkit/le_bytes.h"
#include "toolkit/qt/qt_bindings.h"
#include "toolkit/qt/spin_edit_widget.h"

namespace {

struct ReadCase {
  const char* name;
  QAction* TOrvantBEMxPrg::*entry;
  TChannelState state;
  uint8_t command;
  uint16_t argument;
  const char* logLine;  // the window log line before the progress
  int32_t gaugeMax;     // the step's gauge maximum
  std::string busyLine;  // what it logs, alone, while channel 0 is busy
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

// clang-format off
const ReadCase kReads[] = {
  {"ChipMemory",   &TOrvantBEMxPrg::ReadChipMemory1,   TChannelState::ReadFlash,    kCmdReadFlash, 0,          "C1: 读取芯片Main Flash数据......", 32,  std::string("> 14:03:22 ") + kChannelsBusyText},
  {"ChipChecksum", &TOrvantBEMxPrg::ReadChipCheckSum1, TChannelState::ReadChecksum, kCmdOperation, kOpVerify,  "读取芯片CRC16校验和......",        500, std::string("> 14:03:22 C1: ") + kReadChannelBusyText},
  {"ChipId",       &TOrvantBEMxPrg::ReadMG32xxChipID1, TChannelState::ReadChipId,   kCmdOperation, kOpChipId,  "读取芯片......",                   500, std::string("> 14:03:22 C1: ") + kReadChannelBusyText},
};
// clang-format on

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

class ChannelReadTest : public CommandTest, public ::testing::WithParamInterface<ReadCase> {
 protected:
  void Run() { (window.get()->*GetParam().entry)->trigger(); }
};

// No channel counted, no unit identified: the read goes to channel 0 all the same,
// and to no other channel.
TEST_P(ChannelReadTest, ReadsChannelZeroWhateverTheCountsAndTheLink) {
  g.DeviceCount = 0;
  g.FoundDevices = 0;
  OpenLine(0);
  LinkChannel(1);
  g.FoundDevices = 0;
  window->ViewPageCtrl->setCurrentWidget(window->TabSheetFlash);
  Run();
  const ReadCase& c = GetParam();
  EXPECT_EQ(window->ViewPageCtrl->currentWidget(), window->ChipSett);
  EXPECT_EQ(g.ChannelState[0], c.state);
  EXPECT_EQ(g.ChannelBusy[0], 1);
  EXPECT_EQ(Gauge(0).MaxValue(), c.gaugeMax);
  ASSERT_FALSE(LogLines().empty());
  EXPECT_TRUE(EndsWith(LogLines().back(), c.logLine)) << LogLines().back();
  std::optional<std::vector<uint8_t>> packet = ReadPacket(*lines[0]);
  ASSERT_TRUE(packet.has_value());
  EXPECT_EQ(PacketCommand(*packet), c.command);
  EXPECT_EQ(PacketArgument(*packet), c.argument);
  EXPECT_TRUE(LineStaysQuiet(*lines[1]));
  EXPECT_EQ(g.ChannelState[1], TChannelState::Idle);
}

TEST_P(ChannelReadTest, WithoutAChipSaysSoAndReadsNothing) {
  g.ChipSelected = 0;
  g.FoundDevices = 0;
  LinkChannel(0);
  Run();
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"请选择并确认芯片型号！"});
  EXPECT_EQ(g.ChannelState[0], TChannelState::Idle);
  EXPECT_TRUE(LineStaysQuiet(*lines[0]));
  // Only the memory read reads the settings, and before its guard.
  EXPECT_EQ(g.FoundDevices, GetParam().command == kCmdReadFlash ? 1 : 0);
}

// Channel 0 in the middle of programming: a read would take its replies.
TEST_P(ChannelReadTest, LeavesABusyChannelZeroAlone) {
  LinkChannel(0);
  MakeBusy(0, TChannelState::ProgramFlash);
  g.RxCount[0] = 9;
  g.BlockIndex[0] = 12;
  Gauge(0).SetMaxValue(32);
  Gauge(0).SetProgress(12);
  const size_t before = LogCount();
  Run();
  EXPECT_EQ(g.ChannelState[0], TChannelState::ProgramFlash);
  EXPECT_EQ(g.RxCount[0], 9);
  EXPECT_EQ(g.BlockIndex[0], 12);
  EXPECT_EQ(Gauge(0).Progress(), 12);
  // Each says why, in one line, and sends nothing.
  ASSERT_EQ(LogCount(), before + 1);
  EXPECT_EQ(LogLines().back(), GetParam().busyLine);
  EXPECT_TRUE(LineStaysQuiet(*lines[0]));
}

INSTANTIATE_TEST_SUITE_P(Reads, ChannelReadTest, ::testing::ValuesIn(kReads),
                         [](const auto& info) { return std::string(info.param.name); });

// --- The address read ---

class ReadAddressTest : public CommandTest {
 protected:
  // Answers the read-address dialog with result, noting what was shown.
  void AnswerDialog(int result) {
    previous_ = SetModalHook([this, result](QDialog& form) {
      shownForms.push_back(dynamic_cast<TSetAddressForm*>(&form));
      formInState = g.SetAddressForm == &form;
      // Shown, so that its show handler proposes the last values, then closed.
      form.show();
      form.done(result);
      return form.result();
    });
  }
  void TearDown() override {
    SetModalHook(std::move(previous_));
    CommandTest::TearDown();
  }

  std::vector<TSetAddressForm*> shownForms;
  bool formInState = false;

 private:
  ModalHook previous_;
};

TEST_F(ReadAddressTest, ACancelledDialogStillReadsWithTheLastAddressAndLength) {
  g.ChipSelected = 0;  // no guard
  g.ReadAddress = 0x1230;
  g.ReadLength = 100;
  OpenLine(0);
  AnswerDialog(QDialog::Rejected);
  window->ReadAddress1->trigger();
  ASSERT_EQ(shownForms.size(), 1u);
  EXPECT_NE(shownForms[0], nullptr);
  EXPECT_TRUE(formInState);
  EXPECT_EQ(g.SetAddressForm, nullptr);
  EXPECT_TRUE(boxes.Texts().empty());
  EXPECT_EQ(g.ChannelState[0], TChannelState::ReadAddress);
  EXPECT_EQ(g.ChannelBusy[0], 1);
  EXPECT_EQ(Gauge(0).MaxValue(), 500);
  EXPECT_EQ(Gauge(0).Progress(), 250);
  std::optional<std::vector<uint8_t>> packet = ReadPacket(*lines[0]);
  ASSERT_TRUE(packet.has_value());
  EXPECT_EQ(PacketCommand(*packet), kCmdOperation);
  EXPECT_EQ(PacketArgument(*packet), kOpReadAddress);
  ASSERT_GE(packet->size(), size_t{kPacketHeaderBytes + kReadLengthOffset + 2});
  EXPECT_EQ(GetLe32(packet->data() + kPacketHeaderBytes + kReadAddressOffset), 0x1230u);
  EXPECT_EQ(GetLe16(packet->data() + kPacketHeaderBytes + kReadLengthOffset), 100u);
}

// What the user confirms in the dialog is what the read asks for.
TEST_F(ReadAddressTest, TheConfirmedAddressAndLengthGoIntoTheRead) {
  OpenLine(0);
  ModalHook previous = SetModalHook([](QDialog& dialog) {
    dialog.show();
    auto& form = static_cast<TSetAddressForm&>(dialog);
    form.EditAddr->setText("0x1234");
    form.SpinEditRD->Model().SetValue(100);
    form.BitBtnOK->click();
    return dialog.result();
  });
  window->ReadAddress1->trigger();
  SetModalHook(std::move(previous));
  EXPECT_EQ(g.ReadAddress, 0x1230u);
  EXPECT_EQ(g.ReadLength, 100u);
  std::optional<std::vector<uint8_t>> packet = ReadPacket(*lines[0]);
  ASSERT_TRUE(packet.has_value());
  ASSERT_GE(packet->size(), size_t{kPacketHeaderBytes + kReadLengthOffset + 2});
  EXPECT_EQ(GetLe32(packet->data() + kPacketHeaderBytes + kReadAddressOffset), 0x1230u);
  EXPECT_EQ(GetLe16(packet->data() + kPacketHeaderBytes + kReadLengthOffset), 100u);
}

TEST_F(ReadAddressTest, ABusyChannelZeroGetsNoDialogAndNoRead) {
  LinkChannel(0);
  MakeBusy(0, TChannelState::VerifyFlash);
  AnswerDialog(QDialog::Accepted);
  const size_t before = LogCount();
  window->ReadAddress1->trigger();
  EXPECT_TRUE(shownForms.empty());
  ASSERT_EQ(LogCount(), before + 1);
  EXPECT_EQ(LogLines().back(), std::string("> 14:03:22 C1: ") + kReadChannelBusyText);
  EXPECT_EQ(g.ChannelState[0], TChannelState::VerifyFlash);
  EXPECT_TRUE(LineStaysQuiet(*lines[0]));
}

}  // namespace
