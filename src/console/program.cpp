#include "console/program.h"

#include <QLabel>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "catalogue/qt/chip_select_form.h"
#include "console/about_form.h"
#include "console/config_sn_form.h"
#include "console/ofs_addr_form.h"
#include "console/main_window.h"
#include "shared/state.h"
#include "toolkit/clock.h"
#include "toolkit/dialogs.h"
#include "toolkit/qt/qt_bindings.h"
#include "toolkit/qt/termination_signals.h"

namespace {

bool Set(const char* value) { return value && *value; }

// Created hidden and owned by the main window; the chip button shows a fresh
// instance of its own each time.
void CreateChipSelectForm(TOrvantBEMxPrg& owner) { g.ChipSelectForm = new TChipSelectForm(&owner); }

// The forms go with the main window at the end of the body; nothing may
// reach them through the shared state after that.
void ForgetForms() {
  g.OrvantBEMxPrg = nullptr;
  g.AboutForm = nullptr;
  g.ChipSelectForm = nullptr;
  g.FormOfsAddr = nullptr;
  g.ConfigSNForm = nullptr;
  g.LogMemo = nullptr;
}

// The log's last line is a line of this text: "> ", the time, a blank and it.
bool LogJustSaid(const TMemo& log, std::string_view text) {
  if (log.Count() == 0) return false;
  const std::string_view last = log.Line(log.Count() - 1);
  return last.starts_with("> ") && last.size() > text.size() && last.ends_with(text) &&
         last[last.size() - text.size() - 1] == ' ';
}

}  // namespace

bool DisplayAvailable(const char* display, const char* waylandDisplay, const char* qpaPlatform) {
  return Set(display) || Set(waylandDisplay) || Set(qpaPlatform);
}

std::string NoDisplayMessage() {
  return "OrvantGenBEM: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
         "To run it without a display, choose the offscreen platform:\n"
         "  QT_QPA_PLATFORM=offscreen OrvantGenBEM [project file [OFF]]\n";
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i)
    if (argv[i]) arguments.emplace_back(argv[i]);
  return arguments;
}

void CreateForms(TOrvantBEMxPrg& mainWindow) {
  g.OrvantBEMxPrg = &mainWindow;
  mainWindow.setWindowTitle("OrvantGenBEM Programmer Wizard");
  auto* about = new TAboutForm(&mainWindow);
  about->Label1->setText("OrvantGenBEM Flash MCU Programmer");
  about->Label3->setText(kAboutLine);
  g.AboutForm = about;
  CreateChipSelectForm(mainWindow);
  g.FormOfsAddr = new TFormOfsAddr(&mainWindow);
  g.ConfigSNForm = new TConfigSNForm(&mainWindow);
}

void CloseOnTerminationSignals(TerminationSignals& termination, TOrvantBEMxPrg& mainWindow, int* signalTaken) {
  termination.NotifyOnRequest([&mainWindow, signalTaken](int signalNumber) {
    if (signalTaken) *signalTaken = signalNumber;
    // exit, not quit: it also ends a modal dialog's loop (and any opened after
    // it), which would otherwise keep the program up with its window gone.
    if (mainWindow.CloseOnSignal()) QCoreApplication::exit(0);
  });
}

int ExitStatus(bool unattended, bool resultWritten, int signalTaken) {
  if (!unattended || resultWritten) return 0;
  return signalTaken > 0 ? 128 + signalTaken : kFailedRunExitCode;
}

void EchoBoxesOfUnattendedRun(TOrvantBEMxPrg& mainWindow) {
  SetMessageBoxObserver([&mainWindow](const MessageBoxRequest& box) {
    if (!mainWindow.Unattended()) return;
    // A handler that logs what its box says has just done so: once is enough.
    if (!LogJustSaid(mainWindow.InfoMemo(), box.text)) mainWindow.LogLine(box.text);
    TellStandardError(box.text);
  });
}

int ProgramBody(int argc, char** argv) {
  // A write to a pipe or FIFO whose reader has gone (standard error piped into
  // a viewer that was closed) fails with EPIPE and is reported as any failed
  // write is; it never ends the program with its ports open and its log
  // unsaved. Only SIGPIPE: the termination signals keep the rule below.
  std::signal(SIGPIPE, SIG_IGN);
  // First of all: a signal that comes while the rest starts up (an unattended
  // run's supervisor may send one at any time) is a request to close, never
  // the default action's end.
  TerminationSignals termination;
  int signalTaken = 0;
  // Qt aborts inside its platform set-up without a display; say it plainly.
  if (!DisplayAvailable(std::getenv("DISPLAY"), std::getenv("WAYLAND_DISPLAY"), std::getenv("QT_QPA_PLATFORM"))) {
    std::fputs(NoDisplayMessage().c_str(), stderr);
    return kNoDisplayExitCode;
  }
  TApplication application(argc, argv);
  TApplication::setApplicationName("OrvantGenBEM");

  TOrvantBEMxPrg mainWindow;
  mainWindow.SetCommandLine(ProgramArguments(argc, argv));
  CreateForms(mainWindow);

  InstallQtDialogResponders();
  BindGuiQueueToEventLoop();
  UseUserLocale();
  EchoBoxesOfUnattendedRun(mainWindow);
  CloseOnTerminationSignals(termination, mainWindow, &signalTaken);
  mainWindow.show();
  // A signal during the first show (a start-up message box) closed it already.
  if (mainWindow.isVisible()) TApplication::exec();
  termination.StopNotifying();
  const int status = ExitStatus(mainWindow.Unattended(), mainWindow.DownloadResultWritten(), signalTaken);
  SetMessageBoxObserver(nullptr);
  ForgetForms();
  return status;
}
