#pragma once
// A FIFO that a save is pointed at, and its far end: no reader at all, or a
// reader that takes a few bytes and leaves, as `head -c 10` does, from a FIFO
// that holds one page (4 KB), so a longer save meets its end. A save that
// waits on the FIFO anyway (in its open, for want of a reader, or in a write)
// is freed once `limit` has passed: the far end then opens a reader and
// drains the FIFO, so the save returns and the test fails with a message
// instead of hanging until the test runner kills it.
//
//   FifoFarEnd far(path, FifoReader::kLeavesAfterAFewBytes);
//   ... the save ...
//   EXPECT_FALSE(far.Finish()) << "the save waited on the FIFO";

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>
#include <thread>

enum class FifoReader { kNone, kLeavesAfterAFewBytes };

class FifoFarEnd {
public:
  // What a reader that leaves early takes before it goes.
  static constexpr size_t kFewBytes = 10;

  // Makes the FIFO at `path` (and opens the early reader, so a writer's open
  // finds one). Throws std::runtime_error when it cannot.
  FifoFarEnd(const std::string& path, FifoReader reader,
             std::chrono::milliseconds limit = std::chrono::seconds(20));
  ~FifoFarEnd();
  FifoFarEnd(const FifoFarEnd&) = delete;
  FifoFarEnd& operator=(const FifoFarEnd&) = delete;

  // Ends the far end; true when the limit passed first and a waiting save had
  // to be freed. Call once the save has returned.
  bool Finish();
  // Bytes that reached the far end, the early reader's and the freeing drain's.
  size_t BytesTaken() const { return taken_; }

private:
  void Run(std::chrono::steady_clock::time_point deadline);
  // WaitForStop: whether Finish came before `until`. TakeFew: false when
  // Finish came while the early reader was there.
  bool WaitForStop(std::chrono::steady_clock::time_point until) const;
  bool TakeFew(std::chrono::steady_clock::time_point deadline);
  void Drain();

  std::string path_;
  int stop_[2] = {-1, -1};
  int reader_ = -1;
  std::atomic<size_t> taken_{0};
  std::atomic<bool> freed_{false};
  std::thread thread_;
};
