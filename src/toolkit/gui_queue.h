#pragma once
// The GUI-thread notification queue: the stand-in for posting a message to a
// hidden window. Worker threads Post from any thread; the GUI thread drains the
// queue in posting order and each message is handed to its target there.
//
// Ownership: a posted message owns its data block until its target's handler
// has returned; the queue then frees it.
// Lifetime: a target must call Forget(this) before it is destroyed, which drops
// its messages still waiting; messages of live targets are never dropped.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
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

class GuiQueue {
public:
  // Thread-safe. Wakes the GUI event loop through the wake function, if set.
  void Post(GuiMessage message);
  // GUI thread. Hands every message waiting now, and those posted by their
  // handlers, to their targets; returns how many were delivered.
  size_t Drain();
  // GUI thread. Drops the target's waiting messages.
  void Forget(const GuiMessageTarget* target);
  size_t Pending() const;
  // Called after each Post, from the posting thread; must be thread-safe.
  void SetWake(std::function<void()> wake);

private:
  mutable std::mutex mutex_;
  std::deque<GuiMessage> messages_;
  std::function<void()> wake_;
};

// The program's one queue.
GuiQueue& TheGuiQueue();
