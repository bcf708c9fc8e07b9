#pragma once
// Bounded waits for what the serial threads post to the GUI queue: the test
// thread plays the GUI thread. DrainUntil drains the program's GUI queue
// (TheGuiQueue) until condition holds, sleeping between rounds, for at most
// limit; true when the condition held (checked after every drain), false when
// the limit passed first. Test thread only.
//
//   ASSERT_TRUE(DrainUntil([&] { return received.size() >= 12; }));

#include <chrono>
#include <functional>
#include <thread>

#include "toolkit/gui_queue.h"

// Room for a whole firmware upgrade at the line's pace in a sanitizer build;
// only a broken exchange waits this long, and CTest stops any test at 60 s.
inline constexpr std::chrono::milliseconds kDrainPatience = std::chrono::seconds(30);

inline bool DrainUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = kDrainPatience) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    TheGuiQueue().Drain();
    if (condition()) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}
