// The reads that act on channel 0 alone: chip memory, chip checksum, chip ID
// and a read from an address the user gives.
#include <QTabWidget>

#include "console/command_guards.h"
#include "console/main_window.h"
#include "console/set_address_form.h"
#include "link/channel_log.h"
#include "link/commands.h"
#include "link/operation_steps.h"
#include "toolkit/gauge.h"

namespace {

constexpr uint8_t kReadChannel = 0;
constexpr int kFilePathPanel = 2;
// Where the window's data came from once a chip read replaced them.
constexpr const char* kDataFromChipText = "芯片读出数据";
// Where the address read's gauge starts, of its kStepTicks.
constexpr int32_t kReadAddressStartProgress = 250;

// A one-packet read: its state first, so that the reply is dispatched by it,
// then its log line, the progress and the command.
void StartOneCommandRead(TOrvantBEMxPrg& window, TChannelState state, const char* logText, uint16_t operation) {
  g.ChannelState[kReadChannel] = state;
  window.LogLine(logText);
  BeginChannelProgress(kStepTicks, g.RomSizeKB, kReadChannel);
  SendOpCommand(kCmdOperation, operation, kReadChannel);
}

// A read started on a busy channel would take over its step's replies: it is
// refused with a line of that channel.
bool ReadChannelFreeOrLog() {
  if (g.ChannelBusy[kReadChannel] == 0) return true;
  LogChannelLine(kReadChannelBusyText, kReadChannel);
  return false;
}

}  // namespace

void TOrvantBEMxPrg::ReadChipMemory1Click(QObject*) {
  // The read fills FlashImage, which other channels may be programming from;
  // refused while any channel works, channel 0 included.
  if (!ImageFreeOrLog(TImageUse::Change, this)) return;
  ViewPageCtrl->setCurrentWidget(ChipSett);
  ReadSettingsFromUi();
  if (!ChipChosenOrSay()) return;
  StartReadFlash(kReadChannel);
}

void TOrvantBEMxPrg::ReadChipCheckSum1Click(QObject*) {
  ViewPageCtrl->setCurrentWidget(ChipSett);
  if (!ChipChosenOrSay() || !ReadChannelFreeOrLog()) return;
  StartOneCommandRead(*this, TChannelState::ReadChecksum, "读取芯片CRC16校验和......", kOpVerify);
}

void TOrvantBEMxPrg::ReadMG32xxChipID1Click(QObject*) {
  ViewPageCtrl->setCurrentWidget(ChipSett);
  if (!ChipChosenOrSay() || !ReadChannelFreeOrLog()) return;
  StartOneCommandRead(*this, TChannelState::ReadChipId, "读取芯片......", kOpChipId);
}

void TOrvantBEMxPrg::ReadAddress1Click(QObject*) {
  if (!ReadChannelFreeOrLog()) return;
  // Cancelled or confirmed, the read goes out with the last values confirmed.
  ShowSetAddressForm(this);
  g.ChannelState[kReadChannel] = TChannelState::ReadAddress;
  BeginChannelProgress(kStepTicks, g.RomSizeKB, kReadChannel);
  if (TGauge* gauge = g.ChannelGauge[kReadChannel]) gauge->SetProgress(kReadAddressStartProgress);
  SendReadCommand(kCmdOperation, kOpReadAddress, kReadChannel);
}

void TOrvantBEMxPrg::ShowDataFromChip() {
  // Also the name a project saved now stores, and a download carries.
  g.DataFileName = kDataFromChipText;
  SetStatusPanelText(kFilePathPanel, kDataFromChipText);
}
