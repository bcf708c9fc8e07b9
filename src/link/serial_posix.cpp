// Linux serial lines: termios, poll, ioctl and eventfd for TComm.
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <iterator>

#include "link/comm.h"
#include "link/serial_port.h"

namespace {

struct BaudRow {
  uint32_t bitsPerSecond;
  speed_t speed;
};

// The rates termios names; others are not offered to the driver.
constexpr BaudRow kBaudRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

// Character size by TByteSize ordinal (_5 .. _8).
constexpr tcflag_t kCharSize[] = {CS5, CS6, CS7, CS8};

// Parity bits by TParity ordinal (None, Odd, Even, Mark, Space); mark and
// space are the "stick" parities of CMSPAR.
constexpr tcflag_t kParityBits[] = {0, PARENB | PARODD, PARENB, PARENB | PARODD | CMSPAR,
                                    PARENB | CMSPAR};

// Kernel line-error counters and the CE_ flag each one reports.
struct CounterFlag {
  int serial_icounter_struct::*counter;
  uint32_t flag;
};
constexpr CounterFlag kLineErrorCounters[] = {
    {&serial_icounter_struct::buf_overrun, CE_RXOVER},
    {&serial_icounter_struct::overrun, CE_OVERRUN},
    {&serial_icounter_struct::parity, CE_RXPARITY},
    {&serial_icounter_struct::frame, CE_FRAME},
    {&serial_icounter_struct::brk, CE_BREAK},
};
static_assert(std::size(kLineErrorCounters) == SerialPort::kCountedLineErrors);

std::string DevicePath(const std::string& name) {
  return name.find('/') == std::string::npos ? "/dev/" + name : name;
}

// poll that survives signals; returns the count of ready descriptors, 0 on
// time-out, -1 on failure.
int PollRetrying(pollfd* fds, nfds_t count, int limitMs) {
  for (;;) {
    const int ready = poll(fds, count, limitMs);
    if (ready >= 0 || errno != EINTR) return ready;
  }
}

bool IsOn(const pollfd& entry) { return (entry.revents & (POLLIN | POLLERR | POLLHUP)) != 0; }

// Raises (on) or lowers one modem line. Pseudo-terminals and some adapters have
// no modem lines and answer ENOTTY or EINVAL; a line that cannot be set is left
// as it is, as a rejected setting is everywhere else.
void SetModemLine(int fd, int line, bool on) {
  ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line);
}

// USB serial adapters of the ftdi_sio family hold received bytes until 62 have
// gathered or their latency timer runs out, 16 ms by default on Linux. Every
// reply of a unit but the read blocks is shorter, and each step waits for one
// before it sends the next packet, so the timer would add up to 16 ms to every
// round trip. ASYNC_LOW_LATENCY (what `setserial PORT low_latency` sets) has
// the driver run the timer at 1 ms. Best effort: a pseudo-terminal answers
// ENOTTY, other drivers may refuse or answer EPERM to an ordinary user, and
// such a line simply keeps the latency it had.
void AskForLowLatency(int fd) {
  serial_struct settings {};
  if (ioctl(fd, TIOCGSERIAL, &settings) != 0) return;
  if ((settings.flags & ASYNC_LOW_LATENCY) != 0) return;
  settings.flags |= ASYNC_LOW_LATENCY;
  ioctl(fd, TIOCSSERIAL, &settings);
}

SerialWait WaitOnDevice(int fd, short events, const SerialEvent& stop, int limitMs) {
  pollfd fds[2] = {{stop.Descriptor(), POLLIN, 0}, {fd, events, 0}};
  const int ready = PollRetrying(fds, 2, limitMs);
  if (ready < 0) return SerialWait::Failed;
  if (ready == 0) return SerialWait::TimedOut;
  if (IsOn(fds[0])) return SerialWait::Stop;
  if (fds[1].revents & events) return SerialWait::Ready;
  return SerialWait::Failed;  // POLLHUP, POLLERR or POLLNVAL without the awaited event
}

}  // namespace

SerialEvent::~SerialEvent() {
  if (fd_ >= 0) close(fd_);
}

// An eventfd rather than a condition variable because it can sit in the same
// poll as the device: one wait wakes on bytes, on room to write and on stop.
bool SerialEvent::Create() {
  fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  return fd_ >= 0;
}

void SerialEvent::Set() const {
  const uint64_t one = 1;
  // A full counter (never reached) would leave the event set, which is all we need.
  [[maybe_unused]] const ssize_t written = write(fd_, &one, sizeof one);
}

void SerialEvent::Clear() const {
  uint64_t count = 0;
  [[maybe_unused]] const ssize_t taken = read(fd_, &count, sizeof count);
}

bool SerialEvent::IsSet() const {
  pollfd entry = {fd_, POLLIN, 0};
  return PollRetrying(&entry, 1, 0) > 0 && IsOn(entry);
}

SerialWait WaitEither(const SerialEvent& stop, const SerialEvent& wake) {
  pollfd fds[2] = {{stop.Descriptor(), POLLIN, 0}, {wake.Descriptor(), POLLIN, 0}};
  if (PollRetrying(fds, 2, kWaitForeverMs) <= 0) return SerialWait::Failed;
  if (IsOn(fds[0])) return SerialWait::Stop;
  return (fds[1].revents & POLLIN) ? SerialWait::Ready : SerialWait::Failed;
}

SerialPort::~SerialPort() { Close(); }

SerialPort::OpenResult SerialPort::Open(const std::string& name) {
  Close();
  const int fd = open(DevicePath(name).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return OpenResult::CannotOpen;
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode)) {
    close(fd);
    return OpenResult::NotSerialLine;
  }
  // /dev/null and /dev/zero are character devices too, but no terminal line:
  // /dev/zero would flood the reader. Only a tty answers tcgetattr.
  termios line {};
  if (tcgetattr(fd, &line) != 0) {
    close(fd);
    return OpenResult::NotSerialLine;
  }
  // Exclusive access takes both locks: TIOCEXCL makes the kernel refuse later
  // opens of the tty, but not to root (CAP_SYS_ADMIN bypasses it), while flock
  // stops every cooperating opener, root included.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return OpenResult::CannotOpen;
  }
  ioctl(fd, TIOCEXCL);
  fd_ = fd;
  serial_icounter_struct counts {};
  countsLineErrors_ = ioctl(fd_, TIOCGICOUNT, &counts) == 0;
  for (size_t i = 0; i < std::size(kLineErrorCounters); ++i)
    lastCounts_[i] = counts.*kLineErrorCounters[i].counter;
  return OpenResult::Opened;
}

void SerialPort::Close() {
  if (fd_ < 0) return;
  // The exclusive flag lives on the tty, not on our descriptor; a pty slave's
  // tty outlives our close while its master stays open, and would then refuse
  // the next non-root opener.
  ioctl(fd_, TIOCNXCL);
  close(fd_);
  fd_ = -1;
}

bool SerialPort::SetupQueues(size_t, size_t) { return true; }

void SerialPort::Purge(bool receive, bool transmit) {
  if (receive && transmit) {
    tcflush(fd_, TCIOFLUSH);
  } else if (receive) {
    tcflush(fd_, TCIFLUSH);
  } else if (transmit) {
    tcflush(fd_, TCOFLUSH);
  }
}

void SerialPort::ApplySettings(const TCommProperties& p) {
  termios line {};
  if (tcgetattr(fd_, &line) != 0) return;
  cfmakeraw(&line);
  line.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS);
  line.c_cflag |= CREAD | CLOCAL | kCharSize[static_cast<size_t>(p.ByteSize)];
  if (p.StopBits != TStopBits::_1) line.c_cflag |= CSTOPB;
  line.c_cflag |= kParityBits[static_cast<size_t>(p.Parity)];
  if (p.Outx_CtsFlow || p.RtsControl == TRtsControl::RtsHandshake) line.c_cflag |= CRTSCTS;
  line.c_iflag &= ~(INPCK | IXON | IXOFF | IXANY);
  if (p.ParityCheck) line.c_iflag |= INPCK;
  if (p.Outx_XonXoffFlow) line.c_iflag |= IXON;
  if (p.Inx_XonXoffFlow) line.c_iflag |= IXOFF;
  line.c_cc[VSTART] = static_cast<cc_t>(p.XonChar);
  line.c_cc[VSTOP] = static_cast<cc_t>(p.XoffChar);
  // The descriptor is non-blocking, so VMIN/VTIME never hold a read; gaps are
  // timed by the reader's poll.
  line.c_cc[VMIN] = 1;
  line.c_cc[VTIME] = 0;
  for (const BaudRow& row : kBaudRates) {
    if (row.bitsPerSecond != p.BaudRate) continue;
    cfsetispeed(&line, row.speed);
    cfsetospeed(&line, row.speed);
  }
  tcsetattr(fd_, TCSANOW, &line);
  if (p.DtrControl != TDtrControl::DtrHandshake)
    SetModemLine(fd_, TIOCM_DTR, p.DtrControl == TDtrControl::DtrEnable);
  if (p.RtsControl == TRtsControl::RtsEnable || p.RtsControl == TRtsControl::RtsDisable)
    SetModemLine(fd_, TIOCM_RTS, p.RtsControl == TRtsControl::RtsEnable);
  AskForLowLatency(fd_);
}

void SerialPort::ApplyTimeouts(const TCommProperties& p) {
  const uint32_t interval = p.ReadIntervalTimeout;
  readIntervalMs_.store(interval == 0 ? kWaitForeverMs : static_cast<int>(std::min<uint32_t>(interval, INT_MAX)),
                        std::memory_order_relaxed);
}

SerialWait SerialPort::WaitInput(const SerialEvent& stop, int limitMs) const {
  return WaitOnDevice(fd_, POLLIN, stop, limitMs);
}

SerialWait SerialPort::WaitOutput(const SerialEvent& stop) const {
  return WaitOnDevice(fd_, POLLOUT, stop, kWaitForeverMs);
}

SerialIo SerialPort::Read(uint8_t* to, size_t capacity, size_t& moved) const {
  moved = 0;
  const ssize_t got = read(fd_, to, capacity);
  if (got > 0) {
    moved = static_cast<size_t>(got);
    return SerialIo::Done;
  }
  // A tty whose far end hung up reads as end of file (a pty slave after its
  // master closed) or fails with EIO.
  if (got == 0) return SerialIo::Failed;
  return (errno == EAGAIN || errno == EINTR) ? SerialIo::Again : SerialIo::Failed;
}

SerialIo SerialPort::Write(const uint8_t* from, size_t count, size_t& moved) const {
  moved = 0;
  const ssize_t put = write(fd_, from, count);
  if (put > 0) {
    moved = static_cast<size_t>(put);
    return SerialIo::Done;
  }
  if (put == 0 || errno == EAGAIN || errno == EINTR) return SerialIo::Again;
  return SerialIo::Failed;
}

uint32_t SerialPort::TakeLineErrors() {
  if (!countsLineErrors_) return 0;
  serial_icounter_struct counts {};
  if (ioctl(fd_, TIOCGICOUNT, &counts) != 0) return 0;
  uint32_t flags = 0;
  for (size_t i = 0; i < std::size(kLineErrorCounters); ++i) {
    const int now = counts.*kLineErrorCounters[i].counter;
    if (now != lastCounts_[i]) flags |= kLineErrorCounters[i].flag;
    lastCounts_[i] = now;
  }
  return flags;
}
