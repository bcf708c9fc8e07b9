#include "toolkit/qt/termination_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <iterator>

namespace {

constexpr int kHandledSignals[] = {SIGTERM, SIGINT, SIGHUP};

// What the handler may touch: plain values set before it is installed, and
// lock-free atomics. It runs with all three signals held back on its thread,
// but the process's other threads may take the next copy at the same moment,
// so the first request is claimed by one exchange.
std::atomic<int> g_requestPipe{-1};
// The signal of the request; 0 before one, kNoMoreRequests once the object
// went without one.
constexpr int kNoMoreRequests = -1;
std::atomic<int> g_requestSignal{0};
// CLOCK_MONOTONIC at the request in ns; kTimeNotYet until its handler stored
// it, kTimeUnknown when the clock could not be read.
constexpr int64_t kTimeNotYet = 0;
constexpr int64_t kTimeUnknown = -1;
std::atomic<int64_t> g_requestTime{kTimeNotYet};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<int64_t>::is_always_lock_free,
              "signal handlers may only use lock-free atomics");
struct sigaction g_previous[std::size(kHandledSignals)];
// The handler is in place for the signal: it was not ignored when found.
bool g_installed[std::size(kHandledSignals)];

// A supervisor hands its signal on twice, microseconds apart: to the program
// and to its process group (GNU timeout does). Copies within this time of the
// first are that one request; a later signal asks again.
constexpr int64_t kCopyWindowNs = 1'000'000'000;

int64_t MonotonicNs() {
  timespec now{};
  if (clock_gettime(CLOCK_MONOTONIC, &now) != 0) return kTimeUnknown;
  return int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

// A signal that repeats the request: the same one, within the copy window.
// Without a time to compare, every further signal is a new request.
bool CopyOfTheRequest(int signalNumber, int64_t now) {
  if (signalNumber != g_requestSignal.load()) return false;
  const int64_t first = g_requestTime.load();
  // The first is being taken on another thread this very moment.
  if (first == kTimeNotYet) return true;
  if (first == kTimeUnknown || now == kTimeUnknown) return false;
  return now - first < kCopyWindowNs;
}

void OnTerminationSignal(int signalNumber) {
  const int savedErrno = errno;
  const int64_t now = MonotonicNs();
  int none = 0;
  if (g_requestSignal.compare_exchange_strong(none, signalNumber)) {
    g_requestTime.store(now == kTimeNotYet ? kTimeUnknown : now);
    const unsigned char number = static_cast<unsigned char>(signalNumber);
    // Without the object there is nobody to tell: the request then only
    // makes the later signals copies or second requests.
    const int pipeEnd = g_requestPipe.load();
    if (pipeEnd >= 0) {
      [[maybe_unused]] const ssize_t written = write(pipeEnd, &number, 1);
    }
  } else if (!CopyOfTheRequest(signalNumber, now)) {
    // Blocked while this handler runs; delivered by default action on return.
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
  }
  errno = savedErrno;
}

}  // namespace

TerminationSignals::TerminationSignals(std::function<void(int)> onRequest) : TerminationSignals() {
  NotifyOnRequest(std::move(onRequest));
}

TerminationSignals::TerminationSignals() {
  if (pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
    pipe_[0] = pipe_[1] = -1;
    return;
  }
  g_requestPipe = pipe_[1];
  g_requestSignal = 0;
  g_requestTime = kTimeNotYet;
  struct sigaction action {};
  action.sa_handler = OnTerminationSignal;
  // Each handler runs with the other two held back on its thread; between
  // threads, the exchange in the handler makes the first request the only one.
  sigemptyset(&action.sa_mask);
  for (int signalNumber : kHandledSignals) sigaddset(&action.sa_mask, signalNumber);
  action.sa_flags = SA_RESTART;
  for (size_t i = 0; i < std::size(kHandledSignals); ++i) {
    struct sigaction found {};
    sigaction(kHandledSignals[i], nullptr, &found);
    // An earlier object that took a request left its handler: what it found
    // is still what is to be put back.
    if (found.sa_handler != OnTerminationSignal) {
      g_previous[i] = found;
      // Whoever started the program wants it deaf to this one (nohup, a
      // shell's background job): it stays so.
      g_installed[i] = !(found.sa_handler == SIG_IGN && (found.sa_flags & SA_SIGINFO) == 0);
    }
    if (g_installed[i]) sigaction(kHandledSignals[i], &action, nullptr);
  }
}

void TerminationSignals::NotifyOnRequest(std::function<void(int)> onRequest) {
  onRequest_ = std::move(onRequest);
  if (!Installed() || notifier_) return;
  // A request already in the pipe makes it readable: the first pass of the
  // event loop takes it.
  notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { TakeRequest(); });
}

void TerminationSignals::StopNotifying() { notifier_.reset(); }

// A request taken keeps the handler for the rest of the process: the program
// body ends some milliseconds before the process does, and a copy of the
// signal arriving then would otherwise meet the default action and kill a
// program that is closing cleanly. Its pipe stays open as well, for a handler
// that may be writing the request this very moment (a pipe without a reader
// would answer with SIGPIPE). Without a request, the claim below makes a
// signal during the put-back end the program, as the default action would.
TerminationSignals::~TerminationSignals() {
  if (!Installed()) return;
  g_requestPipe = -1;
  notifier_.reset();
  int none = 0;
  if (!g_requestSignal.compare_exchange_strong(none, kNoMoreRequests)) return;
  for (size_t i = 0; i < std::size(kHandledSignals); ++i)
    if (g_installed[i]) sigaction(kHandledSignals[i], &g_previous[i], nullptr);
  g_requestSignal = 0;
  g_requestTime = kTimeNotYet;
  close(pipe_[0]);
  close(pipe_[1]);
}

void TerminationSignals::TakeRequest() {
  unsigned char number = 0;
  if (read(pipe_[0], &number, 1) != 1) return;
  if (onRequest_) onRequest_(number);
}
