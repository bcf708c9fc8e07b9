// The serial port component against real pseudo-terminals: the component opens
// the slave, the test is the far end on the master and drains the GUI queue
// itself.
#include "link/comm.h"

#include <gtest/gtest.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <filesystem>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "support/pty_pair.h"
#include "toolkit/errors.h"
#include "support/gui_wait.h"
#include "toolkit/gui_queue.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

// Only a broken component waits this long; CTest ends any test at 60 s.
constexpr auto kPatience = kDrainPatience;

// Waits, polling, until condition holds; false at the limit.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = kPatience) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

// The threads of this process: a thread that has returned is gone from them.
size_t ThreadsRunning() {
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                                           std::filesystem::directory_iterator()));
}

// A second descriptor on the pty's slave, opened before the component opens
// it, that tells whether the component's reader has taken every byte the test
// wrote, whenever the reader got to run: a poll of the slave first moves the
// bytes still on their way into the line's input, so nothing readable there
// means the reader holds them.
class SlaveWatch {
public:
  explicit SlaveWatch(const std::string& slavePath)
      : fd_(::open(slavePath.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {}
  ~SlaveWatch() {
    if (fd_ >= 0) ::close(fd_);
  }
  SlaveWatch(const SlaveWatch&) = delete;
  SlaveWatch& operator=(const SlaveWatch&) = delete;

  bool Opened() const { return fd_ >= 0; }
  bool ReaderTookEverything(std::chrono::milliseconds limit = kPatience) const {
    return WaitUntil([this] {
      pollfd entry = {fd_, POLLIN, 0};
      return poll(&entry, 1, 0) == 0;
    }, limit);
  }

private:
  int fd_;
};

Bytes Pattern(size_t size, uint8_t seed) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7 % 251);
  return bytes;
}

Bytes Text(std::string_view text) { return Bytes(text.begin(), text.end()); }

std::string OpenError(TComm& comm) {
  try {
    comm.OpenPort();
  } catch (const ECommsError& error) {
    return error.Message();
  }
  return "(opened)";
}

size_t OpenDescriptors() {
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                           std::filesystem::directory_iterator()));
}

// The far end writing one stream as fast as the line takes it, on its own
// thread, until all is written, Stop() or the limit. Uses only the master's
// descriptor, which the test leaves to it meanwhile.
class FastPeer {
public:
  FastPeer(int masterFd, const Bytes& stream, std::chrono::milliseconds limit)
      : thread_([this, masterFd, &stream, limit] { Run(masterFd, stream, limit); }) {}
  ~FastPeer() { Join(); }
  void Stop() { stop_ = true; }
  // True when every byte was written.
  bool Join() {
    if (thread_.joinable()) thread_.join();
    return done_;
  }

private:
  void Run(int fd, const Bytes& stream, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    size_t at = 0;
    while (at < stream.size() && !stop_ && std::chrono::steady_clock::now() < deadline) {
      const ssize_t put = write(fd, stream.data() + at, stream.size() - at);
      if (put > 0) {
        at += static_cast<size_t>(put);
        continue;
      }
      if (put < 0 && errno != EAGAIN && errno != EINTR) break;
      pollfd entry = {fd, POLLOUT, 0};
      poll(&entry, 1, 10);  // short, so Stop and the limit are seen
    }
    done_ = at == stream.size();
  }

  std::atomic<bool> stop_{false};
  bool done_ = false;
  std::thread thread_;
};

// Everything the component raised, in order.
struct Events {
  std::vector<Bytes> blocks;
  int unterminatedBlocks = 0;
  int hangups = 0;
  int sendEmpty = 0;

  size_t ReceivedBytes() const {
    size_t total = 0;
    for (const Bytes& block : blocks) total += block.size();
    return total;
  }
  Bytes Received() const {
    Bytes all;
    for (const Bytes& block : blocks) all.insert(all.end(), block.begin(), block.end());
    return all;
  }
};

class CommFixture : public ::testing::Test {
protected:
  void SetUp() override {
    ApplyChannelPortDefaults(comm_, 0);
    comm_.SetCommName(pty_.SlavePath());
    comm_.OnReceiveData = [this](TComm* sender, const uint8_t* buffer, uint16_t length) {
      EXPECT_EQ(sender, &comm_);
      events_.blocks.emplace_back(buffer, buffer + length);
      if (buffer[length] != 0) ++events_.unterminatedBlocks;
    };
    comm_.OnRequestHangup = [this](TComm*) { ++events_.hangups; };
    comm_.OnSendDataEmpty = [this](TComm*) { ++events_.sendEmpty; };
  }

  void TearDown() override {
    comm_.ClosePort();
    TheGuiQueue().Drain();
    EXPECT_EQ(events_.unterminatedBlocks, 0);
  }

  // Opens and waits for the writer's notice that it runs with an empty queue.
  void Open() {
    comm_.OpenPort();
    ASSERT_NE(comm_.PortHandle(), 0);
    ASSERT_TRUE(DrainUntil([this] { return events_.sendEmpty == 1; }));
  }

  bool Send(const Bytes& bytes) { return comm_.SendData(bytes.data(), static_cast<uint16_t>(bytes.size())); }

  bool ReceiveAtLeast(size_t count) {
    return DrainUntil([&] { return events_.ReceivedBytes() >= count; });
  }

  PtyPair pty_;
  TComm comm_;
  Events events_;
};

class CommReceive : public CommFixture {};
class CommSend : public CommFixture {};
class CommClose : public CommFixture {};
class CommOpen : public CommFixture {};
class CommHangup : public CommFixture {};
class CommSettings : public CommFixture {};

TEST_F(CommReceive, BurstLongerThanBufferArrivesInFullBlocksThenRemainder) {
  Open();
  // A long interval, so only the full buffer and the end of the burst end blocks.
  comm_.SetReadIntervalTimeout(200);
  const Bytes burst = Pattern(5000, 1);
  ASSERT_TRUE(pty_.Write(burst));
  ASSERT_TRUE(ReceiveAtLeast(burst.size()));
  ASSERT_GE(events_.blocks.size(), 3u);
  EXPECT_EQ(events_.blocks[0].size(), 2048u);
  for (const Bytes& block : events_.blocks) EXPECT_LE(block.size(), 2048u);
  EXPECT_EQ(events_.Received(), burst);
}

TEST_F(CommReceive, BytesWithinTheIntervalFormOneBlock) {
  const SlaveWatch watch(pty_.SlavePath());
  ASSERT_TRUE(watch.Opened());
  Open();
  // Far longer than the pause, however long a loaded machine makes it.
  comm_.SetReadIntervalTimeout(2000);
  ASSERT_TRUE(pty_.Write("ab"));
  // The reader holds "ab" in its open block before the pause begins.
  ASSERT_TRUE(watch.ReaderTookEverything()) << "the reader never took the first bytes";
  std::this_thread::sleep_for(20ms);  // the pause under test
  ASSERT_TRUE(pty_.Write("cd"));
  ASSERT_TRUE(ReceiveAtLeast(4));
  EXPECT_EQ(events_.blocks, std::vector<Bytes>{Text("abcd")});
}

TEST_F(CommReceive, PauseLongerThanTheIntervalEndsTheBlock) {
  Open();
  ASSERT_TRUE(pty_.Write("abc"));
  // The block arrives while the line stays silent: the gap alone ended it.
  ASSERT_TRUE(ReceiveAtLeast(3));
  ASSERT_TRUE(pty_.Write("def"));
  ASSERT_TRUE(ReceiveAtLeast(6));
  EXPECT_EQ(events_.blocks, (std::vector<Bytes>{Text("abc"), Text("def")}));
}

// The peer writes far faster than the GUI thread takes the blocks: the reader
// holds off at the bound instead of growing the queue, and resumes each time
// the GUI thread has taken them.
TEST_F(CommReceive, AFastPeerAndASlowConsumerKeepTheQueueBoundedAndLoseNothing) {
  Open();
  const Bytes stream = Pattern(1 << 20, 5);
  FastPeer peer(pty_.MasterFd(), stream, 30s);
  // Nothing is taken until the reader stands at the bound, however slowly a
  // loaded machine lets the peer write: the stream is far longer than the
  // blocks the bound lets wait.
  ASSERT_TRUE(WaitUntil([] { return TheGuiQueue().Pending() >= kCommMaxPendingBlocks; }))
      << "the reader never reached its bound; " << TheGuiQueue().Pending() << " blocks waited";
  size_t mostPending = TheGuiQueue().Pending();
  const auto deadline = std::chrono::steady_clock::now() + 40s;
  while (events_.ReceivedBytes() < stream.size() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(50ms);  // the slow consumer
    mostPending = std::max(mostPending, TheGuiQueue().Pending());
    TheGuiQueue().Drain();
  }
  EXPECT_TRUE(peer.Join());
  EXPECT_EQ(mostPending, size_t{kCommMaxPendingBlocks});  // reached, and never passed
  EXPECT_EQ(events_.Received(), stream);
  EXPECT_EQ(events_.hangups, 0);
}

// A reader held at the bound still stops at once; what it posted arrives.
TEST_F(CommClose, ClosePortWhileTheReaderWaitsForRoomReturnsAndKeepsThePostedBlocks) {
  Open();
  const Bytes stream = Pattern(1 << 20, 8);
  FastPeer peer(pty_.MasterFd(), stream, 30s);
  ASSERT_TRUE(WaitUntil([] { return TheGuiQueue().Pending() >= kCommMaxPendingBlocks; }))
      << "the reader never reached its bound";
  std::this_thread::sleep_for(50ms);  // time for a reader that ignored the bound to pass it
  EXPECT_EQ(TheGuiQueue().Pending(), size_t{kCommMaxPendingBlocks});
  comm_.ClosePort();
  EXPECT_EQ(comm_.PortHandle(), 0);
  peer.Stop();
  peer.Join();
  TheGuiQueue().Drain();
  EXPECT_EQ(events_.blocks.size(), size_t{kCommMaxPendingBlocks});
  const Bytes received = events_.Received();
  EXPECT_TRUE(std::equal(received.begin(), received.end(), stream.begin()));
}

struct SendBoundCase {
  const char* name;
  size_t blockBytes;
  size_t blocksTaken;  // queued behind the block being written before one is refused
};
void PrintTo(const SendBoundCase& c, std::ostream* os) { *os << c.name; }

class CommSendBound : public CommFixture, public ::testing::WithParamInterface<SendBoundCase> {};

// The test never reads: the writer sits inside a first block the pty cannot
// hold, so the blocks after it stay queued until the bound refuses one.
TEST_P(CommSendBound, AFullQueueRefusesTheNextBlockAndLosesNone) {
  const SendBoundCase& c = GetParam();
  Open();
  const Bytes first = Pattern(60000, 1);
  ASSERT_TRUE(Send(first));
  pollfd entry = {pty_.MasterFd(), POLLIN, 0};
  ASSERT_EQ(poll(&entry, 1, 10000), 1);  // the writer has taken the first block
  Bytes expected = first;
  size_t taken = 0;
  for (;; ++taken) {
    const Bytes block = Pattern(c.blockBytes, static_cast<uint8_t>(taken + 2));
    if (!Send(block)) break;
    expected.insert(expected.end(), block.begin(), block.end());
    ASSERT_LE(taken, c.blocksTaken) << "the queue passed its bound";
  }
  EXPECT_EQ(taken, c.blocksTaken);
  // Once the line drains, every block taken arrives whole and in order, and
  // the queue takes blocks again.
  EXPECT_EQ(pty_.Read(expected.size()), expected);
  ASSERT_TRUE(Send(Text("more")));
  EXPECT_EQ(pty_.Read(4), Text("more"));
  EXPECT_EQ(events_.hangups, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, CommSendBound,
    ::testing::Values(SendBoundCase{"SmallBlocksMeetTheBlockBound", 16, kCommMaxQueuedSendBlocks},
                      SendBoundCase{"LargeBlocksMeetTheByteBound", 8192, kCommMaxQueuedSendBytes / 8192}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CommSend, RefusedWhenClosedOrEmpty) {
  const Bytes x = Text("x");
  EXPECT_FALSE(Send(x));
  Open();
  EXPECT_FALSE(comm_.SendData(x.data(), 0));
  EXPECT_TRUE(Send(x));
  // The empty block queued nothing: the first byte on the line is the 'x'.
  EXPECT_EQ(pty_.Read(1), x);
}

TEST_F(CommSend, QueuedBlocksAreWrittenInOrderThenSendEmptyNotice) {
  Open();
  EXPECT_EQ(events_.sendEmpty, 1);  // once right after the start, before anything was sent
  // Larger than the pty holds, so the second block waits in the queue while
  // the first is written.
  const Bytes first = Pattern(20000, 3);
  const Bytes second = Pattern(20000, 100);
  ASSERT_TRUE(Send(first));
  ASSERT_TRUE(Send(second));
  Bytes expected = first;
  expected.insert(expected.end(), second.begin(), second.end());
  EXPECT_EQ(pty_.Read(expected.size()), expected);
  ASSERT_TRUE(DrainUntil([this] { return events_.sendEmpty >= 2; }));
  // The close waits for the writer, so every notice it ever posted is queued
  // now: one between the two blocks would show as a third.
  comm_.ClosePort();
  TheGuiQueue().Drain();
  EXPECT_EQ(events_.sendEmpty, 2);
  EXPECT_EQ(events_.hangups, 0);
}

TEST_F(CommClose, ClosePortInTheMiddleOfABlockCutsItShort) {
  Open();
  // The test never reads, so the pty fills and the writer waits inside the
  // first block; the two after it are still queued.
  const Bytes block = Pattern(60000, 9);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(Send(block));
  pollfd entry = {pty_.MasterFd(), POLLIN, 0};
  ASSERT_EQ(poll(&entry, 1, 10000), 1);
  comm_.ClosePort();
  EXPECT_EQ(comm_.PortHandle(), 0);
  EXPECT_FALSE(Send(block));
  const Bytes arrived = pty_.ReadAll();
  EXPECT_LT(arrived.size(), block.size());
  EXPECT_TRUE(std::equal(arrived.begin(), arrived.end(), block.begin()));
  TheGuiQueue().Drain();
  EXPECT_EQ(events_.hangups, 0);
}

TEST_F(CommClose, BlocksPostedBeforeCloseAreDeliveredAfterIt) {
  Open();
  ASSERT_TRUE(pty_.Write("late"));
  ASSERT_TRUE(WaitUntil([] { return TheGuiQueue().Pending() > 0; })) << "the block was never posted";
  comm_.ClosePort();
  EXPECT_TRUE(events_.blocks.empty());
  TheGuiQueue().Drain();
  EXPECT_EQ(events_.blocks, std::vector<Bytes>{Text("late")});
}

TEST_F(CommClose, DestroyingAnOpenComponentStopsItAndForgetsItsNotices) {
  {
    TComm other;
    other.SetCommName(pty_.SlavePath());
    other.OpenPort();
    ASSERT_TRUE(pty_.Write("gone"));
  }
  EXPECT_EQ(TheGuiQueue().Pending(), 0u);
  Open();  // the device is free again
}

TEST_F(CommOpen, FailuresRaiseTheirTextsAndLeaveTheComponentClosed) {
  char plainFile[] = "/tmp/orv-comm-test-XXXXXX";
  const int fd = mkstemp(plainFile);
  ASSERT_GE(fd, 0);
  close(fd);
  const struct {
    std::string name;
    std::string message;
  } cases[] = {
      {"/dev/orv-no-such-tty", "Error opening serial port:/dev/orv-no-such-tty"},
      {"orv-no-such-tty", "Error opening serial port:orv-no-such-tty"},
      {plainFile, "File handle is not a comm handle "},
      // Character devices that are no terminal line.
      {"/dev/null", "File handle is not a comm handle "},
      {"/dev/zero", "File handle is not a comm handle "},
  };
  const size_t descriptorsBefore = OpenDescriptors();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    comm_.SetCommName(c.name);
    EXPECT_EQ(OpenError(comm_), c.message);
    EXPECT_EQ(comm_.PortHandle(), 0);
    EXPECT_FALSE(Send(Text("x")));
    EXPECT_EQ(OpenDescriptors(), descriptorsBefore);  // nothing of the attempt stays open
  }
  std::filesystem::remove(plainFile);
}

TEST_F(CommOpen, SecondOpenRaisesAndTheFirstConnectionStillWorks) {
  Open();
  EXPECT_EQ(OpenError(comm_), "This serial port already opened");
  EXPECT_NE(comm_.PortHandle(), 0);
  ASSERT_TRUE(Send(Text("out")));
  EXPECT_EQ(pty_.Read(3), Text("out"));
  ASSERT_TRUE(pty_.Write("in"));
  ASSERT_TRUE(ReceiveAtLeast(2));
  EXPECT_EQ(events_.Received(), Text("in"));
}

TEST_F(CommOpen, SecondComponentOnTheSameDeviceIsRefused) {
  Open();
  // Refused by flock for root, whom the tty's exclusive flag does not stop.
  TComm other;
  other.SetCommName(pty_.SlavePath());
  EXPECT_EQ(OpenError(other), "Error opening serial port:" + pty_.SlavePath());
  EXPECT_EQ(other.PortHandle(), 0);
  ASSERT_TRUE(Send(Text("ok")));
  EXPECT_EQ(pty_.Read(2), Text("ok"));
}

TEST_F(CommOpen, ClosingTwiceIsHarmlessAndThePortOpensAgain) {
  comm_.ClosePort();
  Open();
  comm_.ClosePort();
  comm_.ClosePort();
  EXPECT_EQ(comm_.PortHandle(), 0);
  events_.sendEmpty = 0;
  Open();
  ASSERT_TRUE(pty_.Write("again"));
  ASSERT_TRUE(ReceiveAtLeast(5));
  EXPECT_EQ(events_.Received(), Text("again"));
}

TEST_F(CommHangup, FarEndClosedEndsTheReaderWhileTheWriterRunsOn) {
  // A sanitizer may start a thread of its own with the process's first: that
  // one is made and gone before the count.
  std::thread([] {}).join();
  const size_t threadsBefore = ThreadsRunning();
  Open();
  pty_.CloseMaster();
  ASSERT_TRUE(DrainUntil([this] { return events_.hangups == 1; }));
  // The port stays open and the writer still takes blocks; its write then
  // fails on the hung-up line and it ends with its own hang-up notice.
  EXPECT_NE(comm_.PortHandle(), 0);
  EXPECT_TRUE(Send(Text("x")));
  ASSERT_TRUE(DrainUntil([this] { return events_.hangups == 2; }));
  // The notice is posted on the writer's way out, a moment before it stops
  // taking blocks: the refusal is that of a writer that has ended.
  ASSERT_TRUE(WaitUntil([&] { return ThreadsRunning() <= threadsBefore; })) << "the port's threads did not end";
  EXPECT_FALSE(Send(Text("y")));
  comm_.ClosePort();
  TheGuiQueue().Drain();
  EXPECT_EQ(events_.hangups, 2);  // each thread reported once and ended
  EXPECT_TRUE(events_.blocks.empty());
}

// The bytes the reader holds when the line goes dead are delivered before
// the hang-up: a unit's last reply is not lost because it unplugged at once.
TEST_F(CommHangup, BytesJustBeforeTheHangUpArriveAheadOfIt) {
  const SlaveWatch watch(pty_.SlavePath());
  ASSERT_TRUE(watch.Opened());
  Open();
  // Longer than any load can stretch the moments below: the block is still
  // open when the line dies.
  comm_.SetReadIntervalTimeout(10000);
  std::vector<std::string> order;
  comm_.OnReceiveData = [&](TComm*, const uint8_t* buffer, uint16_t length) {
    order.push_back("block " + std::string(buffer, buffer + length));
  };
  comm_.OnRequestHangup = [&](TComm*) { order.push_back("hang-up"); };
  ASSERT_TRUE(pty_.Write("xyz"));
  // Taken by the reader: a hang-up discards what the line itself still holds.
  ASSERT_TRUE(watch.ReaderTookEverything()) << "the reader never took the bytes";
  pty_.CloseMaster();
  ASSERT_TRUE(DrainUntil([&] { return !order.empty() && order.back() == "hang-up"; }));
  EXPECT_EQ(order, (std::vector<std::string>{"block xyz", "hang-up"}));
}

TEST_F(CommSettings, OpenSetsTheChannelLine) {
  Open();
  const termios line = pty_.SlaveSettings();
  EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B1000000));
  EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_TRUE(line.c_cflag & CSTOPB);
  EXPECT_FALSE(line.c_cflag & (PARENB | CRTSCTS));
  EXPECT_FALSE(line.c_iflag & (IXON | IXOFF | ICRNL));
  EXPECT_FALSE(line.c_lflag & (ICANON | ECHO | ISIG));
  EXPECT_FALSE(line.c_oflag & OPOST);
}

// The open asks the driver for low latency; a pseudo-terminal refuses that,
// as many drivers do, and the line must work exactly as it would otherwise.
TEST_F(CommSettings, ALineThatRefusesLowLatencyStillOpensSendsAndReceives) {
  {
    const int slave = ::open(pty_.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(slave, 0);
    serial_struct settings {};
    EXPECT_NE(ioctl(slave, TIOCGSERIAL, &settings), 0) << "this pty takes serial settings: the refusal is untested";
    ::close(slave);
  }
  Open();
  const Bytes out = Pattern(300, 11);
  ASSERT_TRUE(Send(out));
  EXPECT_EQ(pty_.Read(out.size()), out);
  const Bytes in = Text("OrvantGengX-BEM");
  ASSERT_TRUE(pty_.Write(in));
  ASSERT_TRUE(ReceiveAtLeast(in.size()));
  EXPECT_EQ(events_.Received(), in);
  EXPECT_EQ(events_.hangups, 0);
}

TEST_F(CommSettings, BaudRateWrittenWhileOpenReachesTheLineAnUnchangedOneDoesNot) {
  Open();
  // Someone else turns on software flow control behind the component's back;
  // only an application of the line settings turns it off again.
  termios line = pty_.SlaveSettings();
  line.c_iflag |= IXON;
  ASSERT_EQ(tcsetattr(pty_.MasterFd(), TCSANOW, &line), 0);
  comm_.SetBaudRate(1000000);  // unchanged: nothing is applied
  EXPECT_TRUE(pty_.SlaveSettings().c_iflag & IXON);
  comm_.SetBaudRate(115200);
  line = pty_.SlaveSettings();
  EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B115200));
  EXPECT_FALSE(line.c_iflag & IXON);
}

TEST_F(CommSettings, ParityWrittenWhileOpenWaitsForTheNextApplication) {
  Open();
  // A pseudo-terminal forces PARENB off but keeps PARODD, which odd parity sets.
  comm_.SetParity(TParity::Odd);
  EXPECT_EQ(comm_.Parity(), TParity::Odd);
  EXPECT_FALSE(pty_.SlaveSettings().c_cflag & PARODD);
  comm_.SetStopBits(TStopBits::_1);  // any other line setting applies them all
  termios line = pty_.SlaveSettings();
  EXPECT_TRUE(line.c_cflag & PARODD);
  EXPECT_FALSE(line.c_cflag & CSTOPB);
}

// Lets the process open exactly `more` further descriptors until destroyed, so
// that the step of OpenPort that needs one descriptor too many fails.
class DescriptorBudget {
public:
  explicit DescriptorBudget(int more) {
    getrlimit(RLIMIT_NOFILE, &saved_);
    int fd = 0;
    for (int free = 0;; ++fd) {
      if (fcntl(fd, F_GETFD) == -1 && errno == EBADF && ++free == more) break;
    }
    rlimit budget = saved_;
    budget.rlim_cur = static_cast<rlim_t>(fd + 1);
    ok_ = setrlimit(RLIMIT_NOFILE, &budget) == 0;
  }
  ~DescriptorBudget() { setrlimit(RLIMIT_NOFILE, &saved_); }
  bool ok() const { return ok_; }

private:
  rlimit saved_ {};
  bool ok_ = false;
};

// Only the failure before any thread starts: a thread started under the budget
// trips the undefined-behaviour sanitizer, whose object checks need descriptors.
TEST_F(CommOpen, FailureAfterTheDeviceOpenedClosesItAgain) {
  const size_t before = OpenDescriptors();
  // The exception is only looked at once the budget is lifted, for the same
  // reason.
  std::exception_ptr failure;
  {
    // The device opens; the close event finds no descriptor.
    DescriptorBudget budget(1);
    ASSERT_TRUE(budget.ok());
    try {
      comm_.OpenPort();
    } catch (...) {
      failure = std::current_exception();
    }
  }
  ASSERT_TRUE(failure);
  try {
    std::rethrow_exception(failure);
  } catch (const ECommsError& error) {
    EXPECT_EQ(error.Message(), "Unable to create event");
  }
  EXPECT_EQ(comm_.PortHandle(), 0);
  EXPECT_FALSE(Send(Text("x")));
  EXPECT_EQ(OpenDescriptors(), before);
  // Nothing of the failed attempt holds the device.
  Open();
  ASSERT_TRUE(Send(Text("ok")));
  EXPECT_EQ(pty_.Read(2), Text("ok"));
}

TEST(CommProperties, ConstructorDefaultsAndTheFormValuesOfTheEightComponents) {
  TComm comm;
  EXPECT_EQ(comm.CommName(), "COM2");
  EXPECT_EQ(comm.BaudRate(), 9600u);
  EXPECT_EQ(comm.DtrControl(), TDtrControl::DtrEnable);
  EXPECT_EQ(comm.RtsControl(), TRtsControl::RtsEnable);
  EXPECT_TRUE(comm.Outx_XonXoffFlow() && comm.Inx_XonXoffFlow() && comm.TxContinueOnXoff());
  EXPECT_EQ(comm.StopBits(), TStopBits::_1);
  EXPECT_EQ(comm.ReadIntervalTimeout(), 100u);
  EXPECT_EQ(comm.PortHandle(), 0);

  const struct {
    int componentIndex;
    uint32_t intervalMs;
  } cases[] = {{0, 5}, {3, 5}, {4, 3}, {7, 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.componentIndex);
    TComm channel;
    ApplyChannelPortDefaults(channel, c.componentIndex);
    EXPECT_EQ(channel.BaudRate(), 1000000u);
    EXPECT_EQ(channel.ByteSize(), TByteSize::_8);
    EXPECT_EQ(channel.Parity(), TParity::None);
    EXPECT_EQ(channel.StopBits(), TStopBits::_2);
    EXPECT_EQ(channel.DtrControl(), TDtrControl::DtrDisable);
    EXPECT_EQ(channel.RtsControl(), TRtsControl::RtsDisable);
    EXPECT_FALSE(channel.Outx_XonXoffFlow() || channel.Inx_XonXoffFlow() || channel.TxContinueOnXoff());
    EXPECT_EQ(channel.ReadIntervalTimeout(), c.intervalMs);
  }
}

}  // namespace
