#pragma once
// Runs part of a test as an ordinary user would meet it. The tests run as
// root in CI, and root passes every permission check, so a write-protected
// file or folder means nothing to it: the part runs in a forked child, which
// drops to the unprivileged user and group 65534 (nobody) first when the test
// runs as root, and stays the test's own user otherwise.
//
//   const ChildRun run = RunAsOrdinaryUser([&] { return Outcome(path); });
//   EXPECT_EQ(run.report, "saved");
//
// Files the child needs must be reachable by that user: a TempFolder is made
// 0700, so open it up (0755) first.

#include <functional>
#include <string>
#include <sys/types.h>

inline constexpr uid_t kUnprivilegedId = 65534;

struct ChildRun {
  int status = -1;     // the child's exit status, -1 when it did not exit normally
  std::string report;  // the text `body` returned, or the failure to drop or the exception's text
};

// Forks; the child runs `body` and sends back the text it returns (exit
// status 0), or the text of an exception it throws (status 1), or why it
// could not drop to kUnprivilegedId (status 2). Only the parent returns. The
// child ends with _exit, so nothing of the test's own state is flushed or
// torn down twice.
ChildRun RunAsOrdinaryUser(const std::function<std::string()>& body);

// In a forked child that is about to exec a program: becomes
// kUnprivilegedId (groups first) when running as root, else stays. False
// when the drop failed.
bool BecomeOrdinaryUser();
