#include "support/ordinary_user.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>

namespace {
void SendAndExit(int fd, const std::string& text, int status) {
  size_t put = 0;
  while (put < text.size()) {
    const ssize_t n = ::write(fd, text.data() + put, text.size() - put);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    put += static_cast<size_t>(n);
  }
  ::_exit(status);
}

// The groups first: once the user id is dropped, they can no longer be.
bool DropToUnprivileged() {
  return ::setgroups(0, nullptr) == 0 && ::setgid(kUnprivilegedId) == 0 && ::setuid(kUnprivilegedId) == 0 &&
         ::geteuid() == kUnprivilegedId;
}
}  // namespace

bool BecomeOrdinaryUser() { return ::geteuid() != 0 || DropToUnprivileged(); }

ChildRun RunAsOrdinaryUser(const std::function<std::string()>& body) {
  ChildRun run;
  int ends[2];
  if (::pipe(ends) != 0) {
    run.report = std::string("pipe: ") + std::strerror(errno);
    return run;
  }
  const pid_t child = ::fork();
  if (child < 0) {
    run.report = std::string("fork: ") + std::strerror(errno);
    ::close(ends[0]);
    ::close(ends[1]);
    return run;
  }
  if (child == 0) {
    ::close(ends[0]);
    if (::geteuid() == 0 && !DropToUnprivileged())
      SendAndExit(ends[1], std::string("cannot become user 65534: ") + std::strerror(errno), 2);
    try {
      SendAndExit(ends[1], body(), 0);
    } catch (const std::exception& e) {
      SendAndExit(ends[1], e.what(), 1);
    } catch (...) {
      SendAndExit(ends[1], "an exception of no standard type", 1);
    }
  }
  ::close(ends[1]);
  char chunk[512];
  for (;;) {
    const ssize_t n = ::read(ends[0], chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    run.report.append(chunk, static_cast<size_t>(n));
  }
  ::close(ends[0]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}
