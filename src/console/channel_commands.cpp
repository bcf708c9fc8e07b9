// The six step commands of the tool bar and the "&Command" menu, and the keys
// that run Auto Program.
#include <QTabWidget>

#include "console/command_guards.h"
#include "console/main_window.h"
#include "link/operation_steps.h"
#include "toolkit/dialogs.h"

namespace {

enum class LoopCount { DeviceCount, FoundDevices };

// One command: what it does before it starts, and the starter it runs on
// each channel of its loop.
struct TStepCommand {
  bool EmptyLogLine;
  bool ActivatePanel;  // takes the focus off the option controls
  // The image or its checksums go to the units: data must be loaded, and no
  // chip read may be filling the image.
  bool SendsImage;
  bool ReadsSettings;
  LoopCount Count;
  bool ClearsAuto;  // a single step is never continued by an Auto Program chain
  void (*Start)(uint8_t channel);
};

// clang-format off
//                                        log line  panel  image  settings  loop count                clears auto  starter
constexpr TStepCommand kAutoProgramCommand{true,     true,  true,  true,     LoopCount::DeviceCount,   false,       StartAutoProgram};
constexpr TStepCommand kDownloadCommand   {true,     true,  true,  true,     LoopCount::FoundDevices,  false,       StartDownload};
constexpr TStepCommand kBlankCheckCommand {false,    false, false, true,     LoopCount::FoundDevices,  true,        StartBlankCheck};
constexpr TStepCommand kEraseCommand      {false,    false, false, true,     LoopCount::FoundDevices,  true,        StartErase};
constexpr TStepCommand kProgramCommand    {false,    false, true,  false,    LoopCount::FoundDevices,  true,        StartProgramFlash};
constexpr TStepCommand kVerifyCommand     {false,    true,  true,  true,     LoopCount::FoundDevices,  true,        StartVerifyFlash};
// clang-format on

constexpr char kSpaceKey = ' ';
constexpr char kEnterKey = '\r';

void RunStepCommand(TOrvantBEMxPrg& window, const TStepCommand& command) {
  if (command.SendsImage && !ImageFreeOrLog(TImageUse::Send, &window)) return;
  if (command.EmptyLogLine) window.InfoMemo().Add("");
  window.ViewPageCtrl->setCurrentWidget(window.ChipSett);
  if (command.ActivatePanel) window.PanelBtns->setFocus();
  if (!ChipChosenOrSay()) return;
  if (command.SendsImage && !DataLoadedOrSay()) return;
  if (command.ReadsSettings) window.ReadSettingsFromUi();
  // Read after the settings: reading them raises FoundDevices from 0 to 1.
  const int count = command.Count == LoopCount::DeviceCount ? g.DeviceCount : g.FoundDevices;
  for (int i = 0; i < ChannelsUpTo(count); ++i) {
    const auto ch = static_cast<uint8_t>(i);
    // A busy channel keeps its partly received reply and its chain.
    if (!ChannelReady(ch)) continue;
    g.RxCount[ch] = 0;
    if (command.ClearsAuto) g.ChannelAuto[ch] = 0;
    command.Start(ch);
  }
}

}  // namespace

bool ChipChosenOrSay() {
  if (g.ChipSelected != 0) return true;
  MessageDlg("请选择并确认芯片型号！", MsgDlgType::Information, mbOK);
  return false;
}

bool DataLoadedOrSay() {
  if (g.DataLoaded != 0) return true;
  MessageDlg("请加载目标文件！", MsgDlgType::Information, mbOK);
  return false;
}

void TOrvantBEMxPrg::AutoSpdBtnClick(QObject*) { RunStepCommand(*this, kAutoProgramCommand); }
void TOrvantBEMxPrg::SpdBtnDownLoadClick(QObject*) { RunStepCommand(*this, kDownloadCommand); }
void TOrvantBEMxPrg::SpdBtnBlankChkClick(QObject*) { RunStepCommand(*this, kBlankCheckCommand); }
void TOrvantBEMxPrg::SpdBtnEraseClick(QObject*) { RunStepCommand(*this, kEraseCommand); }
void TOrvantBEMxPrg::SpdBtnProgClick(QObject*) { RunStepCommand(*this, kProgramCommand); }
void TOrvantBEMxPrg::SpdBtnVerifyClick(QObject*) { RunStepCommand(*this, kVerifyCommand); }

void TOrvantBEMxPrg::FormKeyPress(QObject* Sender, char& Key) {
  if (Key == kSpaceKey || Key == kEnterKey) AutoSpdBtnClick(Sender);
}
