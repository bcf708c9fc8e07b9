#pragma once
// SIGTERM, SIGINT and SIGHUP as a request to close, handled on the GUI thread.
// The signal handler itself only writes the signal's number into a pipe (which
// is async-signal-safe); once NotifyOnRequest has been given a handler, a
// QSocketNotifier on the pipe's other end calls it from the event loop,
// including a modal dialog's loop. A request that came before that waits in
// the pipe and is taken when the event loop first runs. A second request,
// once one has come, ends the process at once by the signal's default action:
// whatever the first one started may hang, the second one may not. Copies of
// the first signal that arrive within one second of it (a supervisor that
// signals the program and then its process group) are that same request; any
// other of these signals, or the same one a second or more later, is a second
// request.
//
// A signal that is ignored when the object is made (nohup's SIGHUP, the
// SIGINT that a shell leaves ignored for a background job) stays ignored: its
// handler is not installed.
//
// One object at a time, made on the GUI thread; it needs no application
// object, so a program makes it first of all. Once a request has been taken,
// the rule holds until the process ends: the destructor leaves the handlers
// (and their pipe) in place, so a copy that comes while the process winds
// down stays a copy and a second request still ends it at once. Without a
// request, the destructor puts back the dispositions it found.

#include <functional>
#include <memory>

class QSocketNotifier;

class TerminationSignals {
public:
  TerminationSignals();
  // The same, with NotifyOnRequest(onRequest) made at once.
  explicit TerminationSignals(std::function<void(int signalNumber)> onRequest);
  ~TerminationSignals();
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

  // False when the pipe could not be made; the signals then keep their
  // dispositions.
  bool Installed() const { return pipe_[0] >= 0; }

  // From now on (the application object exists) the request, one that came
  // already included, calls onRequest with its signal from the event loop.
  void NotifyOnRequest(std::function<void(int signalNumber)> onRequest);
  // Drops the notifier while the application object still exists; a request
  // after this only waits in the pipe. The handlers stay as they are.
  void StopNotifying();

private:
  void TakeRequest();

  std::function<void(int)> onRequest_;
  int pipe_[2] = {-1, -1};
  std::unique_ptr<QSocketNotifier> notifier_;
};
