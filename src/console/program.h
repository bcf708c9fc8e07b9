#pragma once
// The program body: creates the application and its windows, runs the message
// loop and returns its exit code. Without a display (and no platform chosen)
// it prints how to run headless and returns kNoDisplayExitCode instead.

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

// Whether Qt can open a window: a display server named in the environment, or
// a platform plugin chosen explicitly (QT_QPA_PLATFORM, e.g. offscreen).
// Null and empty values count as unset.
bool DisplayAvailable(const char* display, const char* waylandDisplay, const char* qpaPlatform);
// The text printed when DisplayAvailable is false.
std::string NoDisplayMessage();

// The program's own arguments: those after the program name that Qt left.
std::vector<std::string> ProgramArguments(int argc, char** argv);
