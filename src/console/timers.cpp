// The main window's two timers: the 10 ms tick (progress, time-outs, the end
// of an unattended download) and the 100 ms start-up timer (search, the
// command line's download, the search again after a firmware upgrade).
#include <QTimer>
#include <chrono>
#include <thread>

#include "console/main_window.h"
#include "link/channel_ticks.h"
#include "link/unattended_download.h"
#include "toolkit/dialogs.h"
#include "toolkit/format.h"
#include "toolkit/text_file.h"

namespace {

using namespace std::chrono_literals;

// Units that have just taken new firmware restart before they answer again.
constexpr auto kSearchAfterUpgradeWait = 200ms;

constexpr const char* kProjectMissingFormat = "File of %s is not found!";
constexpr const char* kProjectNotLoadedFormat = "Project file of %s did not load: download not started!";
constexpr const char* kNoPortListedText = "No serial port found or named in ConfigOvg.ini: download not started!";
constexpr const char* kNoUnitFoundText = "No programmer unit found: download not started!";

}  // namespace

void TOrvantBEMxPrg::Timer1Timer(QObject*) {
  AdvanceChannelTicks();
  if (unattendedEndTried_ || !UnattendedDownloadFinished()) return;
  // Tried once: a result file that cannot be written is reported once, not
  // again on every tick.
  unattendedEndTried_ = true;
  WriteDownloadResult();
  downloadResultWritten_ = true;
  close();
}

void TOrvantBEMxPrg::Timer2Timer(QObject* Sender) {
  if (g.SearchPending != 0) {
    g.SearchPending = 0;
    SearchDevices();
  }
  if (AllUnitsFound()) {
    Timer2->stop();
    if (g.CommandLineMode != 0) RunCommandLineDownload();
    return;
  }
  if (g.UpgradeStarted != 0 && UpgradedUnitsReady()) {
    g.UpgradeStarted = 0;
    std::this_thread::sleep_for(kSearchAfterUpgradeWait);
    BitBtnFindDevClick(Sender);
  }
}

void TOrvantBEMxPrg::RunCommandLineDownload() {
  const std::string& project = g.CmdLineProject;
  if (!FileExists(project)) {
    LogLine(Format(kProjectMissingFormat, {project}));
    ShowMessage(Format(kProjectMissingFormat, {project}));
    return;
  }
  g.DownloadOkCount = 0;
  // Read before the job's options raise FoundDevices from 0 to 1: with no
  // unit the download would go to no channel and the run wait for good.
  const bool noUnit = g.FoundDevices == 0;
  // A job that did not load is never downloaded: it could be half of one.
  bool loaded = false;
  try {
    loaded = OpenProject(project);
  } catch (const std::exception& error) {
    // A FIFO, a device or an unreadable file fails here like a bad job: in
    // the log, not in the box of an error that an unattended run never closes.
    LogLine(error.what());
  }
  if (!loaded) LogLine(Format(kProjectNotLoadedFormat, {project}));
  if (noUnit) LogLine(comboBoxCOM_.Count() == 0 ? kNoPortListedText : kNoUnitFoundText);
  if (!loaded || noUnit) return;
  StartDownloadOnChannelsInUse();
}
