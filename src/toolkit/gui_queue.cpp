#include "toolkit/gui_queue.h"

#include <algorithm>

void GuiQueue::Post(GuiMessage message) {
  std::function<void()> wake;
  {
    std::lock_guard lock(mutex_);
    messages_.push_back(std::move(message));
    wake = wake_;
  }
  if (wake) wake();
}

size_t GuiQueue::Drain() {
  size_t delivered = 0;
  for (;;) {
    GuiMessage message;
    {
      std::lock_guard lock(mutex_);
      if (messages_.empty()) return delivered;
      message = std::move(messages_.front());
      messages_.pop_front();
    }
    if (message.target) message.target->HandleGuiMessage(message);
    ++delivered;
  }
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
  std::lock_guard lock(mutex_);
  wake_ = std::move(wake);
}

GuiQueue& TheGuiQueue() {
  static GuiQueue queue;
  return queue;
}
