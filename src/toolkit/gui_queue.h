#pragma once
// The GUI-thread notification queue: the stand-in for posting a message to a
// hidden window. Worker threads Post from any thread; the GUI thread drains the
// queue and each message is handed to its target there.
//
// Order: each target has a lane of its own, handed on in posting order. The
// lanes with messages waiting take turns, one message each, so that a port
// which posts faster than its handler consumes holds another port's next
// message back by one of its own at most, however many it has waiting.
//
// Ownership: a posted message owns its data block until its target's handler
// has returned; the queue then frees it.
// Lifetime: a target must call Forget(this) before it is destroyed, which drops
// its messages still waiting; messages of live targets are never dropped.
//
// Turns: the event loop delivers through DeliverTurn, one bounded turn at a
// time, so that a port which posts faster than its handler consumes never
// keeps the loop from painting, taking keys and running its timers. Between
// two turns the loop does all of that; nothing is dropped or reordered.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>

class GuiMessageTarget;

struct GuiMessage {
  GuiMessageTarget* target = nullptr;
  uint32_t code = 0;
  uint32_t param = 0;
  std::unique_ptr<uint8_t[]> data;
  size_t size = 0;
};

class GuiMessageTarget {
public:
  virtual void HandleGuiMessage(GuiMessage& message) = 0;

protected:
  ~GuiMessageTarget() = default;
};

// How long one turn of the event loop hands on messages before the loop gets
// its own turn, and about how long one handler takes over a flooded port's
// block: a fraction of the 10 ms timer's period, so that a turn and the
// loop's own work after it (painting, input, timers) still leave the timer
// most of its rate while a unit floods its line, and a key is taken at once.
inline constexpr std::chrono::milliseconds kGuiTurnSlice{2};

class GuiQueue {
public:
  // Thread-safe. Queues the message last in its target's lane. Asks the event
  // loop for a turn through the wake function, if one is set and no turn is
  // asked for yet: one wake-up stands for any number of posts, so a flood of
  // posts never floods the event loop.
  void Post(GuiMessage message);
  // GUI thread. Queues the message first in the lane of the target `lane`,
  // whatever the message's own target: it is handed on before every message
  // waiting there, when that lane's turn comes. A handler that leaves part of
  // a port's block for a later turn queues the rest so, ahead of what the
  // port sent after it. Forget(lane) drops it with the lane. Asks for a turn
  // as Post does.
  void PostFirst(const GuiMessageTarget* lane, GuiMessage message);
  // GUI thread. One turn: hands on messages lane by lane in turn, at least one
  // when any waits, until none is left or slice has passed since the turn
  // began (checked after each message, so a turn lasts slice plus at most one
  // handler). When messages are left it asks for the next turn through the
  // wake function and returns, also when a handler throws (the exception
  // leaves the turn). A handler's nested event loop may run turns of its own.
  // Returns how many were delivered.
  size_t DeliverTurn(std::chrono::steady_clock::duration slice = kGuiTurnSlice);
  // GUI thread. Hands every message waiting now, and those posted meanwhile,
  // to their targets; returns how many were delivered. For tests, which play
  // the event loop themselves.
  size_t Drain();
  // GUI thread. Drops the target's waiting messages, in every lane, and its
  // own lane.
  void Forget(const GuiMessageTarget* target);
  size_t Pending() const;
  // The event loop's wake-up, called from the posting thread (or the GUI
  // thread at the end of a turn); must be thread-safe and must lead to one
  // DeliverTurn on the GUI thread. Setting it forgets any turn asked for of
  // the one before, and asks for a turn at once when messages wait.
  void SetWake(std::function<void()> wake);

private:
  struct Lane {
    const GuiMessageTarget* key = nullptr;
    std::deque<GuiMessage> messages;  // never empty while the lane is queued
  };

  // The lane keyed by key, made last in turn when none is queued. mutex_ held.
  Lane& LaneLocked(const GuiMessageTarget* key);
  // Takes the next message and hands it on; false when none waits.
  bool DeliverNext();
  // The wake function to call when messages wait and no turn is asked for
  // yet (the turn then counts as asked for); empty otherwise. mutex_ held.
  std::function<void()> TurnToAskLocked();
  void AskTurnIfWaiting();

  mutable std::mutex mutex_;
  // The lanes with messages waiting, in turn: the first one's first message
  // goes next, and its lane then goes last.
  std::list<Lane> lanes_;
  std::function<void()> wake_;
  bool turnAsked_ = false;
};

// The program's one queue.
GuiQueue& TheGuiQueue();
