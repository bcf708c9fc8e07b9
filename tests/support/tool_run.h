#pragma once
// Runs one of the build's tools as a user runs it: a separate process through
// the shell, its standard output and error gathered together, its signals at
// their default actions (see child_signals.h).

#include <string>

struct ToolRun {
  int status = -1;     // the exit status, -1 when the tool did not exit normally
  std::string output;  // stdout and stderr
};

// commandLine is handed to /bin/sh as it stands (quote the arguments).
ToolRun RunTool(const std::string& commandLine);
