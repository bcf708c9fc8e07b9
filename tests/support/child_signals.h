#pragma once
// The signal dispositions a program started by a test begins with: every
// signal at its default action and none blocked, as an interactive shell
// starts a program, whatever the test runner itself inherited. An ignored
// signal stays ignored across exec, so a suite run from nohup (SIGHUP
// ignored) or as a script's background job (SIGINT ignored) would otherwise
// hand that on to every program it starts. A test that means to start a
// program with a signal ignored sets that itself, after these.

#include <spawn.h>

// For a forked child right before its exec; async-signal-safe.
void DefaultSignalsInChild();

// posix_spawn attributes that do the same (POSIX_SPAWN_SETSIGDEF for every
// signal, POSIX_SPAWN_SETSIGMASK with an empty mask):
//   posix_spawn(&pid, path, actions, DefaultSignalsSpawn().Get(), argv, environ)
class DefaultSignalsSpawn {
public:
  DefaultSignalsSpawn();
  ~DefaultSignalsSpawn();
  DefaultSignalsSpawn(const DefaultSignalsSpawn&) = delete;
  DefaultSignalsSpawn& operator=(const DefaultSignalsSpawn&) = delete;

  const posix_spawnattr_t* Get() const { return &attributes_; }

private:
  posix_spawnattr_t attributes_;
};
