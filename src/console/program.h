#pragma once
// The program body: creates the application and its windows, runs the message
// loop and returns its exit code. Without a display (and no platform chosen)
// it prints how to run headless and returns kNoDisplayExitCode instead.
// SIGPIPE is ignored from its start on, for the rest of the process.

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

// From now on SIGTERM, SIGINT and SIGHUP close the main window through its
// normal close path (the ports closed, the window log saved), as the user
// closing it does, and end the event loops, a modal dialog's included.
// Nobody is there to answer a box on that close: what it would show goes to
// standard error (TOrvantBEMxPrg::CloseOnSignal). A second signal ends the
// program at once. The signal taken is kept in *signalTaken (0 before one)
// for the exit status. The program body installs the handlers themselves
// first of all, before the application and the window exist.
class TerminationSignals;
void CloseOnTerminationSignals(TerminationSignals& termination, TOrvantBEMxPrg& mainWindow, int* signalTaken);

// The program's exit status. 0 for every run but an unattended one, which
// exits 0 only once it has written its result file whole; ended any other way
// it exits 128 + the signal's number when a termination signal closed it (as
// a shell reports a program the signal ended), else kFailedRunExitCode.
inline constexpr int kFailedRunExitCode = 1;
int ExitStatus(bool unattended, bool resultWritten, int signalTaken);

// Installs the message box observer of an unattended run: from then on, while
// mainWindow.Unattended(), the text of every box also goes to the window log
// and to standard error as the box is shown, so that a run nobody watches
// still says why it stopped; a text that the log's last line already holds
// (its handler logged it just before) is not logged again. The boxes
// themselves stay. The caller removes
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
