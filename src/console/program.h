#pragma once
// The program body: creates the application and its windows, runs the message
// loop and returns its exit code. Without a display (and no platform chosen)
// it prints how to run headless and returns kNoDisplayExitCode instead.

#include <memory>
#include <string>
#include <vector>

int ProgramBody(int argc, char** argv);

// The windows the program body makes around the main window, which it
// captions: the About box, the chip selection dialog, the binary-file offset
// dialog and the serial-number data dialog, all hidden and owned by the main
// window, and reachable through the shared state.
class TOrvantBEMxPrg;
void CreateForms(TOrvantBEMxPrg& mainWindow);

inline constexpr int kNoDisplayExitCode = 2;

// While the returned object lives, SIGTERM, SIGINT and SIGHUP close the main
// window through its normal close path (the ports closed, the window log
// saved), as the user closing it does, and end the event loops, a modal
// dialog's included, so the program ends with exit code 0. Nobody is there
// to answer a box on that close: what it would show goes to standard error
// (TOrvantBEMxPrg::CloseOnSignal). A second signal ends the program at once.
// The program body installs it for the main window.
class TerminationSignals;
std::unique_ptr<TerminationSignals> CloseOnTerminationSignals(TOrvantBEMxPrg& mainWindow);

// Installs the message box observer of an unattended run: from then on, while
// mainWindow.Unattended(), the text of every box also goes to the window log
// and to standard error as the box is shown, so that a run nobody watches
// still says why it stopped. The boxes themselves stay. The caller removes
// it (SetMessageBoxObserver(nullptr)) before the window goes.
void EchoBoxesOfUnattendedRun(TOrvantBEMxPrg& mainWindow);

// Whether Qt can open a window: a display server named in the environment, or
// a platform plugin chosen explicitly (QT_QPA_PLATFORM, e.g. offscreen).
// Null and empty values count as unset.
bool DisplayAvailable(const char* display, const char* waylandDisplay, const char* qpaPlatform);
// The text printed when DisplayAvailable is false.
std::string NoDisplayMessage();

// The program's own arguments: those after the program name that Qt left.
std::vector<std::string> ProgramArguments(int argc, char** argv);
