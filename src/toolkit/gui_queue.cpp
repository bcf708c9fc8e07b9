#include "toolkit/gui_queue.h"

#include <algorithm>

GuiQueue::Lane& GuiQueue::LaneLocked(const GuiMessageTarget* key) {
  // A handful of ports: a scan is the cheapest way to find a lane.
  const auto found = std::find_if(lanes_.begin(), lanes_.end(), [key](const Lane& lane) { return lane.key == key; });
  if (found != lanes_.end()) return *found;
  return lanes_.emplace_back(Lane{key, {}});
}

void GuiQueue::Post(GuiMessage message) {
  std::function<void()> wake;
  {
    std::lock_guard lock(mutex_);
    const GuiMessageTarget* key = message.target;
    LaneLocked(key).messages.push_back(std::move(message));
    wake = TurnToAskLocked();
  }
  if (wake) wake();
}

void GuiQueue::PostFirst(const GuiMessageTarget* lane, GuiMessage message) {
  std::function<void()> wake;
  {
    std::lock_guard lock(mutex_);
    LaneLocked(lane).messages.push_front(std::move(message));
    wake = TurnToAskLocked();
  }
  if (wake) wake();
}

std::function<void()> GuiQueue::TurnToAskLocked() {
  if (!wake_ || turnAsked_ || lanes_.empty()) return {};
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
    if (lanes_.empty()) return false;
    Lane& lane = lanes_.front();
    message = std::move(lane.messages.front());
    lane.messages.pop_front();
    // The lane's next message waits for every other lane's turn.
    if (lane.messages.empty())
      lanes_.pop_front();
    else
      lanes_.splice(lanes_.end(), lanes_, lanes_.begin());
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
  for (Lane& lane : lanes_) {
    if (lane.key == target) lane.messages.clear();
    std::erase_if(lane.messages, [target](const GuiMessage& m) { return m.target == target; });
  }
  std::erase_if(lanes_, [](const Lane& lane) { return lane.messages.empty(); });
}

size_t GuiQueue::Pending() const {
  std::lock_guard lock(mutex_);
  size_t pending = 0;
  for (const Lane& lane : lanes_) pending += lane.messages.size();
  return pending;
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
