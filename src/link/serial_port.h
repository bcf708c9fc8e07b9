#pragma once
// The serial line layer under TComm: the only code that sees a file
// descriptor, termios or an ioctl. TComm and its threads call these members and
// nothing else of the platform.
//
// Threads: a SerialPort is opened, set up and closed on the GUI thread; while
// it is open the reader and the writer use it at the same time (the kernel
// serialises the calls on one descriptor). ApplySettings, ApplyTimeouts and
// Purge may run on the GUI thread while the threads use the port. Line-error
// counting (TakeLineErrors) belongs to the reader alone.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

struct TCommProperties;

// A signal that wakes every wait that includes it. Set is manual-reset: the
// signal stays on until Clear. Safe to Set, Clear and test from any thread.
class SerialEvent {
public:
  SerialEvent() = default;
  ~SerialEvent();
  SerialEvent(const SerialEvent&) = delete;
  SerialEvent& operator=(const SerialEvent&) = delete;

  // False when the system gives no new event.
  bool Create();
  void Set() const;
  void Clear() const;
  // Tests without waiting.
  bool IsSet() const;
  int Descriptor() const { return fd_; }

private:
  int fd_ = -1;
};

enum class SerialWait {
  Stop,      // the stop signal is on (it wins over everything else)
  Ready,     // the awaited input, output room or wake signal is there
  TimedOut,  // the time limit passed first
  Failed,    // the device hung up or failed, or the wait itself failed
};

enum class SerialIo {
  Done,    // at least one byte moved
  Again,   // nothing moved now; wait and try again
  Failed,  // the device failed or hung up; the port is of no further use
};

// Waits without limit until stop or wake is set. The wake signal stays on.
SerialWait WaitEither(const SerialEvent& stop, const SerialEvent& wake);

inline constexpr int kWaitForeverMs = -1;

class SerialPort {
public:
  // NotSerialLine: not a character device, or one that is no terminal line.
  enum class OpenResult { Opened, CannotOpen, NotSerialLine };
  // Kernel line-error counters followed: buffer overrun, overrun, parity,
  // framing, break.
  static constexpr size_t kCountedLineErrors = 5;

  SerialPort() = default;
  ~SerialPort();
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Opens the device for reading and writing, not as controlling terminal, for
  // this process alone. On any result but Opened nothing stays open.
  OpenResult Open(const std::string& name);
  // Non-zero while open.
  intptr_t Handle() const { return fd_ < 0 ? 0 : static_cast<intptr_t>(fd_) + 1; }

  // Driver queue sizes in bytes; Linux has none to set, so this always holds.
  bool SetupQueues(size_t receiveBytes, size_t transmitBytes);
  // Discards what the kernel holds for the chosen directions.
  void Purge(bool receive, bool transmit);
  // Raw mode and the line settings of the properties, and low latency asked
  // of the driver; what the device rejects is left as it was, silently.
  void ApplySettings(const TCommProperties& properties);
  void ApplyTimeouts(const TCommProperties& properties);
  // The longest gap within one received block, in ms; kWaitForeverMs when no
  // gap ends a block.
  int ReadIntervalMs() const { return readIntervalMs_.load(std::memory_order_relaxed); }

  // Waits until input is there, the device fails or stop is set, at most
  // limitMs (kWaitForeverMs: without limit). Input still buffered on a line
  // that hung up counts as Ready, so it is read before the failure shows.
  SerialWait WaitInput(const SerialEvent& stop, int limitMs) const;
  // Waits without limit for room to write, a device failure or stop.
  SerialWait WaitOutput(const SerialEvent& stop) const;
  // Moves what can move now without waiting; moved holds the count, also on
  // Failed. A zero-byte read is a hung-up line.
  SerialIo Read(uint8_t* to, size_t capacity, size_t& moved) const;
  SerialIo Write(const uint8_t* from, size_t count, size_t& moved) const;
  // CE_ flags of the line errors counted since the last call (or the open);
  // always 0 on devices that do not count line errors (pseudo-terminals).
  uint32_t TakeLineErrors();

private:
  void Close();

  int fd_ = -1;
  std::atomic<int> readIntervalMs_{kWaitForeverMs};
  bool countsLineErrors_ = false;
  int lastCounts_[kCountedLineErrors] = {};
};
