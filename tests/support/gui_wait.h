#pragma once
// Bounded waits for what the serial threads post to the GUI queue.

#include <chrono>
#include <functional>
#include <thread>

#include "toolkit/gui_queue.h"

// Drains the GUI queue until the condition holds; false when it never did
// within the limit.
inline bool DrainUntil(const std::function<bool()>& condition,
                       std::chrono::milliseconds limit = std::chrono::seconds(30)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    TheGuiQueue().Drain();
    if (condition()) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}
