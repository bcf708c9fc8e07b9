#include "support/fifo_far_end.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace {
using Clock = std::chrono::steady_clock;

constexpr int kFifoRoomBytes = 4096;

std::runtime_error SystemFault(const std::string& what, int code) {
  return std::runtime_error(what + ": " + std::strerror(code));
}

// poll's timeout up to `until`; -1 (no end) for the time point's maximum.
int TimeoutUntil(Clock::time_point until) {
  if (until == Clock::time_point::max()) return -1;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, 60'000));
}

// Polls `fds` until one is ready or `until` passes; false on the timeout.
bool PollUntil(pollfd* fds, nfds_t count, Clock::time_point until) {
  for (;;) {
    const int ready = ::poll(fds, count, TimeoutUntil(until));
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) throw SystemFault("poll", errno);
    if (ready == 0 && Clock::now() >= until) return false;
  }
}
}  // namespace

FifoFarEnd::FifoFarEnd(const std::string& path, FifoReader reader, std::chrono::milliseconds limit) : path_(path) {
  if (::mkfifo(path.c_str(), 0600) != 0) throw SystemFault("mkfifo " + path, errno);
  if (reader == FifoReader::kLeavesAfterAFewBytes) {
    // Nobody writes yet, so only a non-blocking open returns.
    reader_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (reader_ < 0) throw SystemFault("open " + path, errno);
    // One page of room, so that a save of any size outlasts it while the
    // reader is still there.
    if (::fcntl(reader_, F_SETPIPE_SZ, kFifoRoomBytes) < 0) {
      const int code = errno;
      ::close(reader_);
      throw SystemFault("F_SETPIPE_SZ " + path, code);
    }
  }
  if (::pipe2(stop_, O_CLOEXEC) != 0) {
    const int code = errno;
    if (reader_ >= 0) ::close(reader_);
    throw SystemFault("pipe", code);
  }
  thread_ = std::thread([this, deadline = Clock::now() + limit] { Run(deadline); });
}

FifoFarEnd::~FifoFarEnd() { Finish(); }

bool FifoFarEnd::Finish() {
  if (thread_.joinable()) {
    const char stop = 1;
    [[maybe_unused]] const ssize_t written = ::write(stop_[1], &stop, 1);
    thread_.join();
    ::close(stop_[0]);
    ::close(stop_[1]);
    if (reader_ >= 0) ::close(reader_);
    reader_ = -1;
  }
  return freed_;
}

void FifoFarEnd::Run(Clock::time_point deadline) {
  if (reader_ >= 0 && !TakeFew(deadline)) return;
  if (WaitForStop(deadline)) return;
  freed_ = true;
  Drain();
}

bool FifoFarEnd::WaitForStop(Clock::time_point until) const {
  pollfd stop{stop_[0], POLLIN, 0};
  return PollUntil(&stop, 1, until);
}

bool FifoFarEnd::TakeFew(Clock::time_point deadline) {
  pollfd fds[] = {{stop_[0], POLLIN, 0}, {reader_, POLLIN, 0}};
  while (taken_ < kFewBytes) {
    // Nothing came in time: whatever holds the save, the drain frees it.
    if (!PollUntil(fds, 2, deadline)) break;
    if (fds[0].revents) return false;
    char bytes[kFewBytes];
    const ssize_t n = ::read(reader_, bytes, kFewBytes - taken_);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) break;  // the writer has gone
    taken_ += static_cast<size_t>(n);
  }
  // Leaves, with the writer perhaps still writing: its next write meets a
  // FIFO without a reader.
  ::close(reader_);
  reader_ = -1;
  return true;
}

void FifoFarEnd::Drain() {
  reader_ = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (reader_ < 0) return;
  // poll tells of the FIFO's end only once a writer has come.
  pollfd fds[] = {{stop_[0], POLLIN, 0}, {reader_, POLLIN, 0}};
  for (;;) {
    PollUntil(fds, 2, Clock::time_point::max());
    if (fds[0].revents) return;
    char bytes[4096];
    const ssize_t n = ::read(reader_, bytes, sizeof bytes);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) break;
    taken_ += static_cast<size_t>(n);
  }
  WaitForStop(Clock::time_point::max());
}
