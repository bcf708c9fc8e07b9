#include "console/program.h"

#include <QLabel>
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

std::unique_ptr<TerminationSignals> CloseOnTerminationSignals(TOrvantBEMxPrg& mainWindow) {
  return std::make_unique<TerminationSignals>([&mainWindow](int) {
    // exit, not quit: it also ends a modal dialog's loop (and any opened after
    // it), which would otherwise keep the program up with its window gone.
    if (mainWindow.CloseOnSignal()) QCoreApplication::exit(0);
  });
}

void EchoBoxesOfUnattendedRun(TOrvantBEMxPrg& mainWindow) {
  SetMessageBoxObserver([&mainWindow](const MessageBoxRequest& box) {
    if (!mainWindow.Unattended()) return;
    mainWindow.LogLine(box.text);
    TellStandardError(box.text);
  });
}

int ProgramBody(int argc, char** argv) {
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
  const std::unique_ptr<TerminationSignals> termination = CloseOnTerminationSignals(mainWindow);
  mainWindow.show();
  // A signal during the first show (a start-up message box) closed it already.
  int exitCode = mainWindow.isVisible() ? TApplication::exec() : 0;
  SetMessageBoxObserver(nullptr);
  ForgetForms();
  return exitCode;
}
