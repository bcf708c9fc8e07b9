// The main window's one-time preparation when it is first shown.
#include <QTabWidget>
#include <QTableView>
#include <QTimer>

#include "catalogue/chip_catalogue.h"
#include "console/hex_grid_model.h"
#include "console/main_window.h"
#include "link/firmware.h"
#include "link/port_discovery.h"
#include "link/unattended_download.h"
#include "toolkit/ascii.h"
#include "toolkit/clock.h"
#include "toolkit/dialogs.h"
#include "toolkit/format.h"
#include "toolkit/program_folder.h"
#include "toolkit/qt/gauge_widget.h"
#include "toolkit/qt/memo_view.h"
#include "toolkit/regular_file.h"
#include "toolkit/text_file.h"

namespace {

constexpr const char* kSettingsFileName = "ConfigOvg.ini";
constexpr const char* kLogFolderName = "Log";
constexpr const char* kOldResultLeftFormat = "%s of an earlier run could not be deleted: %s: download not started!";
constexpr const char* kFirmwareUnusableLogFormat = "File of \"%s\" not Usable: %s!";
constexpr const char* kFirmwareUnusableBoxFormat = "文件\"%s\"无法使用：%s，请确认！";

// A project and, after it, OFF in any letter case; further arguments are ignored.
bool AsksForUnattendedEnd(const std::vector<std::string>& arguments) {
  return arguments.size() >= 2 && UpperAscii(arguments[1]) == "OFF";
}

// Gauges and the log memo by the number of channels in use: one gauge per
// channel, in pairs above four, bottom-aligned at the lowest gauge's top; the
// memo ends just above the first gauge shown.
struct GaugeLayoutRow {
  int upToChannels;  // this row serves DeviceCount values up to this one
  int gaugesShown;
  int memoHeight;  // pixels
};
constexpr GaugeLayoutRow kGaugeLayout[] = {
    // channels  gauges  InfoMemo height
    {1, 1, 414},
    {2, 2, 390},
    {4, 4, 356},
    {6, 6, 318},
    {255, 8, 278},
};
constexpr int kLowestGaugeTop = 450;  // pixels, on the page ChipSett
constexpr int kGaugePitch = 19;       // pixels from one gauge's top to the next
constexpr int kInfoMemoTop = 35;

constexpr int kFlashAddressColumnWidth = 70;
constexpr int kEepAddressColumnWidth = 73;
constexpr int kTextColumn = 17;
constexpr int kTextColumnWidth = 130;

}  // namespace

void TOrvantBEMxPrg::FormShow(QObject*) {
  formShown_ = true;
  g.TotalOk = 0;
  g.TotalNg = 0;
  g.ProgramDir = ProgramFolder();
  // An unattended run's result file speaks of this run only: an earlier one
  // goes before anything here can fail, wait or show a box (the settings
  // file, the firmware image, the search).
  oldResultLeft_ = AsksForUnattendedEnd(commandLine_) ? RemoveOldDownloadResult() : std::string();
  PageControlSet->setCurrentIndex(0);
  ClearChannelRuns(kChannels);
  g.LogMemo = &infoMemo_;
  InitView();
  InitChannels();
  std::string logFolder = g.ProgramDir + kLogFolderName;
  // A folder that cannot be made shows only when the log is saved on exit.
  if (!DirectoryExists(logFolder)) CreateDir(logFolder);
  std::string settings = g.ProgramDir + kSettingsFileName;
  if (FileExists(settings)) ReadConnectionConfig(settings);
  if (g.PortsFromConfig == 0) ListSerialPortsIntoComboBox();
  LayoutGauges();
  LogLine("Hello OrvantGenX-BEM User! ------ " + ShortDateText(Now()));
  LoadFirmwareOrReportMissing();
  g.ExitAfterDownload = 0;
  ReadCommandLine();
  g.SearchPending = 1;
  Timer2->start();
}

void TOrvantBEMxPrg::InitView() {
  ApplyStartUpChipValues();
  ViewPageCtrl->setCurrentWidget(ChipSett);
  HexViewer->setColumnWidth(0, kFlashAddressColumnWidth);
  HexViewer->setColumnWidth(kTextColumn, kTextColumnWidth);
  EEPDataView->setColumnWidth(0, kEepAddressColumnWidth);
  EEPDataView->setColumnWidth(kTextColumn, kTextColumnWidth);
  for (int column = 1; column <= 16; ++column) {
    QString header = QString::fromStdString(Format("  %x", {column - 1}));
    HexViewerCells->SetHeaderCell(column, header);
    EEPDataViewCells->SetHeaderCell(column, header);
  }
  ViewPageCtrl->setTabVisible(ViewPageCtrl->indexOf(TabSheetEEP), false);
}

void TOrvantBEMxPrg::LayoutGauges() {
  const GaugeLayoutRow* row = &kGaugeLayout[0];
  while (g.DeviceCount > row->upToChannels) ++row;
  for (int ch = 0; ch < kChannels; ++ch) {
    bool shown = ch < row->gaugesShown;
    if (shown) {
      int top = kLowestGaugeTop - kGaugePitch * (row->gaugesShown - 1 - ch);
      Gauges[ch]->move(Gauges[ch]->x(), top);
    }
    Gauges[ch]->setVisible(shown);
  }
  QRect memo = InfoMemoView->geometry();
  InfoMemoView->setGeometry(memo.x(), kInfoMemoTop, memo.width(), row->memoHeight);
}

void TOrvantBEMxPrg::LoadFirmwareOrReportMissing() {
  const std::string path = FirmwareImagePath();
  // A FIFO or a device under the name is no image: reading it could wait forever.
  if (IsRegularFile(path)) {
    // An image there that cannot serve an upgrade is reported as a missing one
    // is, box included: an unattended run waits in it rather than download
    // to units that it cannot bring up to date.
    const std::string whyNot = LoadFirmwareImageFile(path);
    if (!whyNot.empty()) ShowMessage(Format(kFirmwareUnusableBoxFormat, {path, whyNot}));
    return;
  }
  g.ImageValid = 0;
  LogLine("File of \"" + path + "\" not Found!");
  ShowMessage("文件\"" + path + "\"没有找到，请确认！");
}

void TOrvantBEMxPrg::ReadCommandLine() {
  if (commandLine_.empty()) {
    g.CommandLineMode = 0;
    return;
  }
  g.DownloadOkCount = 0;
  g.CommandLineMode = 1;
  g.ExitAfterDownload = 0;
  g.CmdLineProject = commandLine_[0];
  if (AsksForUnattendedEnd(commandLine_)) g.ExitAfterDownload = 1;
  // An earlier run's result that could not be deleted would speak for this
  // run: it then downloads nothing and never ends by itself.
  if (g.ExitAfterDownload != 0 && !oldResultLeft_.empty()) {
    LogLine(Format(kOldResultLeftFormat, {DownloadResultPath(), oldResultLeft_}));
    g.CommandLineMode = 0;
    g.ExitAfterDownload = 0;
  }
}

// From the start, before the command line is read: the start-up's own boxes
// (a missing firmware image) have nobody to close them either.
bool TOrvantBEMxPrg::Unattended() const { return g.ExitAfterDownload != 0 || AsksForUnattendedEnd(commandLine_); }

void TOrvantBEMxPrg::ListSerialPortsIntoComboBox() { ListSerialPorts(comboBoxCOM_, PortSysfsRoot, PortDeviceFolder); }

std::string TOrvantBEMxPrg::LoadFirmwareImageFile(const std::string& path) {
  const std::string whyNot = LoadFirmwareImage(path);
  if (!whyNot.empty()) LogLine(Format(kFirmwareUnusableLogFormat, {path, whyNot}));
  return whyNot;
}
