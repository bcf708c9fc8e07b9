#include "support/child_signals.h"

#include <signal.h>

void DefaultSignalsInChild() {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  // SIGKILL, SIGSTOP and the C library's own signals refuse; nothing else does.
  for (int signalNumber = 1; signalNumber < NSIG; ++signalNumber) sigaction(signalNumber, &action, nullptr);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
}

DefaultSignalsSpawn::DefaultSignalsSpawn() {
  posix_spawnattr_init(&attributes_);
  sigset_t all;
  sigfillset(&all);
  posix_spawnattr_setsigdefault(&attributes_, &all);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes_, &none);
  posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
}

DefaultSignalsSpawn::~DefaultSignalsSpawn() { posix_spawnattr_destroy(&attributes_); }
