#include "toolkit/qt/termination_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <iterator>

namespace {

constexpr int kHandledSignals[] = {SIGTERM, SIGINT, SIGHUP};

// What the handler may touch: plain values, set before it is installed.
int g_requestPipe = -1;
volatile sig_atomic_t g_requested = 0;
struct sigaction g_previous[std::size(kHandledSignals)];

void OnTerminationSignal(int signalNumber) {
  if (g_requested) {
    // Blocked while this handler runs; delivered by default action on return.
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
    return;
  }
  g_requested = 1;
  const int savedErrno = errno;
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
  struct sigaction action {};
  action.sa_handler = OnTerminationSignal;
  // Each handler runs with the other two held back, so two signals at once
  // are one request and one immediate end, never two requests.
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
