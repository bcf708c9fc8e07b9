#include "support/tool_run.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "support/child_signals.h"

ToolRun RunTool(const std::string& commandLine) {
  ToolRun run;
  int ends[2];
  if (::pipe(ends) != 0) return run;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, ends[1], STDERR_FILENO);
  posix_spawn_file_actions_addclose(&actions, ends[0]);
  posix_spawn_file_actions_addclose(&actions, ends[1]);
  char* argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"), const_cast<char*>(commandLine.c_str()), nullptr};
  pid_t pid = -1;
  const DefaultSignalsSpawn signals;
  const int spawned = ::posix_spawn(&pid, "/bin/sh", &actions, signals.Get(), argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(ends[1]);
  if (spawned != 0) {
    ::close(ends[0]);
    return run;
  }
  char chunk[512];
  for (;;) {
    const ssize_t n = ::read(ends[0], chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    run.output.append(chunk, static_cast<size_t>(n));
  }
  ::close(ends[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}
