#include "support/pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

PtyPair::PtyPair() {
  int slave = -1;
  char name[128] = {};
  if (openpty(&master_, &slave, name, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
  // The slave's line discipline starts in cooked mode with echo; raw mode here
  // keeps a test's bytes unchanged even before the code under test sets the line.
  termios line {};
  tcgetattr(slave, &line);
  cfmakeraw(&line);
  tcsetattr(slave, TCSANOW, &line);
  close(slave);
  slavePath_ = name;
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair() { CloseMaster(); }

void PtyPair::CloseMaster() {
  if (master_ < 0) return;
  close(master_);
  master_ = -1;
}

bool PtyPair::Write(const void* data, size_t size, std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  const auto* bytes = static_cast<const uint8_t*>(data);
  size_t done = 0;
  while (done < size) {
    if (master_ < 0) return false;
    const ssize_t put = write(master_, bytes + done, size - done);
    if (put > 0) {
      done += static_cast<size_t>(put);
      continue;
    }
    if (put < 0 && errno != EAGAIN && errno != EINTR) return false;
    // A closed slave keeps reporting POLLHUP at once, so the hang-up and the
    // deadline both end the wait; otherwise this would spin for ever.
    if (Clock::now() >= deadline) return false;
    pollfd entry = {master_, POLLOUT, 0};
    if (poll(&entry, 1, MsLeft(deadline)) <= 0) return false;
    if (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) return false;
  }
  return true;
}

std::vector<uint8_t> PtyPair::Read(size_t count, std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  std::vector<uint8_t> got;
  uint8_t chunk[4096];
  while (master_ >= 0 && got.size() < count) {
    const size_t want = std::min(sizeof chunk, count - got.size());
    const ssize_t n = read(master_, chunk, want);
    if (n > 0) {
      got.insert(got.end(), chunk, chunk + n);
      continue;
    }
    // EIO: the slave's side is closed and nothing more is buffered.
    if (n == 0 || (errno != EAGAIN && errno != EINTR)) break;
    pollfd entry = {master_, POLLIN, 0};
    const int left = MsLeft(deadline);
    if (left == 0 || poll(&entry, 1, left) <= 0) break;
    if (!(entry.revents & POLLIN)) break;  // hung up with nothing buffered
  }
  return got;
}

std::vector<uint8_t> PtyPair::ReadAll() {
  std::vector<uint8_t> got;
  uint8_t chunk[4096];
  while (master_ >= 0) {
    const ssize_t n = read(master_, chunk, sizeof chunk);
    if (n <= 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got.insert(got.end(), chunk, chunk + n);
  }
  return got;
}

termios PtyPair::SlaveSettings() const {
  // On Linux the master's TCGETS reports the slave's settings.
  termios line {};
  tcgetattr(master_, &line);
  return line;
}
