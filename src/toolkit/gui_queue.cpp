#include "toolkit/gui_queue.h"

#include <algorithm>

void GuiQueue::Post(GuiMessage message) {
  std::function<void()> wake;
  {
    std::lock_guard lock(mutex_);
    messages_.push_back(std::move(message));
    wake = TurnToAskLocked();
  }
  if (wake) wake();
}

std::function<void()> GuiQueue::TurnToAskLocked() {
  if (!wake_ || turnAsked_ || messages_.empty()) return {};
  turnAsked_ = true;
  return wake_;
}

void GuiQueue::AskTurnIfWaiting() {
  std::function<void()> wake;
  {
    std::lock_guard lock(mutex_);
    wake = TurnToAskLocked();
  }
  if (wake) wake();
}

bool GuiQueue::DeliverNext() {
  GuiMessage message;
  {
    std::lock_guard lock(mutex_);
    if (messages_.empty()) return false;
    message = std::move(messages_.front());
    messages_.pop_front();
  }
  if (message.target) message.target->HandleGuiMessage(message);
  return true;
}

size_t GuiQueue::DeliverTurn(std::chrono::steady_clock::duration slice) {
  {
    // This turn is the one asked for; a post from now on asks for the next.
    std::lock_guard lock(mutex_);
    turnAsked_ = false;
  }
  // The rest gets its turn however this one ends, a handler's exception included.
  struct NextTurn {
    GuiQueue& queue;
    ~NextTurn() { queue.AskTurnIfWaiting(); }
  } next{*this};
  const auto end = std::chrono::steady_clock::now() + slice;
  size_t delivered = 0;
  while (DeliverNext()) {
    ++delivered;
    if (std::chrono::steady_clock::now() >= end) break;
  }
  return delivered;
}

size_t GuiQueue::Drain() {
  size_t delivered = 0;
  while (DeliverNext()) ++delivered;
  return delivered;
}

void GuiQueue::Forget(const GuiMessageTarget* target) {
  std::lock_guard lock(mutex_);
  std::erase_if(messages_, [target](const GuiMessage& m) { return m.target == target; });
}

size_t GuiQueue::Pending() const {
  std::lock_guard lock(mutex_);
  return messages_.size();
}

void GuiQueue::SetWake(std::function<void()> wake) {
  {
    std::lock_guard lock(mutex_);
    wake_ = std::move(wake);
    turnAsked_ = false;
  }
  AskTurnIfWaiting();
}

GuiQueue& TheGuiQueue() {
  static GuiQueue queue;
  return queue;
}
