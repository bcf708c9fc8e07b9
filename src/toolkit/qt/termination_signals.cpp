#include "toolkit/qt/termination_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <iterator>

namespace {

constexpr int kHandledSignals[] = {SIGTERM, SIGINT, SIGHUP};

// What the handler may touch: plain values, set before it is installed. The
// handler runs with all three signals held back, so it never meets itself
// half-way, and the rest of the program touches these only while the
// handler is not installed.
int g_requestPipe = -1;
volatile sig_atomic_t g_requested = 0;
int g_requestSignal = 0;
bool g_requestTimeKnown = false;
timespec g_requestTime{};
struct sigaction g_previous[std::size(kHandledSignals)];

// A supervisor hands its signal on twice, microseconds apart: to the program
// and to its process group (GNU timeout does). Copies within this time of the
// first are that one request; a later signal asks again.
constexpr int64_t kCopyWindowNs = 1'000'000'000;

bool MonotonicNow(timespec& now) { return clock_gettime(CLOCK_MONOTONIC, &now) == 0; }

// A signal that repeats the request: the same one, within the copy window.
// Without a time to compare, every further signal is a new request.
bool CopyOfTheRequest(int signalNumber) {
  timespec now{};
  if (signalNumber != g_requestSignal || !g_requestTimeKnown || !MonotonicNow(now)) return false;
  const int64_t elapsedNs = (int64_t{now.tv_sec} - g_requestTime.tv_sec) * 1'000'000'000 +
                            (int64_t{now.tv_nsec} - g_requestTime.tv_nsec);
  return elapsedNs < kCopyWindowNs;
}

void OnTerminationSignal(int signalNumber) {
  const int savedErrno = errno;
  if (g_requested) {
    if (!CopyOfTheRequest(signalNumber)) {
      // Blocked while this handler runs; delivered by default action on return.
      signal(signalNumber, SIG_DFL);
      raise(signalNumber);
    }
    errno = savedErrno;
    return;
  }
  g_requested = 1;
  g_requestSignal = signalNumber;
  g_requestTimeKnown = MonotonicNow(g_requestTime);
  const unsigned char number = static_cast<unsigned char>(signalNumber);
  [[maybe_unused]] const ssize_t written = write(g_requestPipe, &number, 1);
  errno = savedErrno;
}

}  // namespace

TerminationSignals::TerminationSignals(std::function<void(int)> onRequest) : onRequest_(std::move(onRequest)) {
  if (pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
    pipe_[0] = pipe_[1] = -1;
    return;
  }
  notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { TakeRequest(); });
  g_requestPipe = pipe_[1];
  g_requested = 0;
  g_requestSignal = 0;
  g_requestTimeKnown = false;
  struct sigaction action {};
  action.sa_handler = OnTerminationSignal;
  // Each handler runs with the other two held back, so two signals at once
  // are one request and either its copy or an immediate end, never two
  // requests.
  sigemptyset(&action.sa_mask);
  for (int signalNumber : kHandledSignals) sigaddset(&action.sa_mask, signalNumber);
  action.sa_flags = SA_RESTART;
  for (size_t i = 0; i < std::size(kHandledSignals); ++i) sigaction(kHandledSignals[i], &action, &g_previous[i]);
}

TerminationSignals::~TerminationSignals() {
  if (!notifier_) return;
  for (size_t i = 0; i < std::size(kHandledSignals); ++i) sigaction(kHandledSignals[i], &g_previous[i], nullptr);
  g_requestPipe = -1;
  g_requested = 0;
  notifier_.reset();
  close(pipe_[0]);
  close(pipe_[1]);
}

void TerminationSignals::TakeRequest() {
  unsigned char number = 0;
  if (read(pipe_[0], &number, 1) != 1) return;
  if (onRequest_) onRequest_(number);
}
