#pragma once
// A pseudo-terminal pair for tests: the code under test opens the slave by its
// path, the test plays the far end on the master. Only the master stays open
// here, so the slave behaves like a device that only its opener holds: the
// master sees the slave's close, and closing the master hangs up the slave.
//
// Threads: one test thread uses a PtyPair. Throws std::runtime_error when no
// pseudo-terminal can be had.

#include <termios.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class PtyPair {
public:
  PtyPair();
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  // -1 once closed.
  int MasterFd() const { return master_; }
  // For example "/dev/pts/3".
  const std::string& SlavePath() const { return slavePath_; }

  // Writes every byte, waiting for room up to the limit. False when the limit
  // passed first, the master is closed or nobody holds the slave any more.
  bool Write(const void* data, size_t size, std::chrono::milliseconds limit = std::chrono::seconds(10));
  bool Write(std::string_view text) { return Write(text.data(), text.size()); }
  bool Write(const std::vector<uint8_t>& bytes) { return Write(bytes.data(), bytes.size()); }

  // Reads until count bytes came, the limit passed or the slave's side closed
  // with nothing more buffered; returns what came.
  std::vector<uint8_t> Read(size_t count, std::chrono::milliseconds limit = std::chrono::seconds(10));
  // What the slave's side sent so far, up to its close, without waiting for more.
  std::vector<uint8_t> ReadAll();

  // The line settings of the slave, as the code under test left them.
  termios SlaveSettings() const;

  void CloseMaster();

private:
  int master_ = -1;
  std::string slavePath_;
};
