#include "support/tool_run.h"

#include <sys/wait.h>

#include <cstdio>

ToolRun RunTool(const std::string& commandLine) {
  ToolRun run;
  const std::string command = commandLine + " 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return run;
  char chunk[512];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) run.output.append(chunk, n);
  const int status = ::pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}
