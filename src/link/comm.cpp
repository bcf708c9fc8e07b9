#include "link/comm.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "link/serial_port.h"
#include "link/wire.h"
#include "toolkit/errors.h"

namespace {

constexpr size_t kReadBufferBytes = 2048;
constexpr size_t kDriverQueueBytes = 4096;

// A heap copy of count bytes followed by one zero byte; null when memory ran out.
std::unique_ptr<uint8_t[]> CopyBlock(const uint8_t* data, size_t count) {
  std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[count + 1]());
  if (block) std::copy(data, data + count, block.get());
  return block;
}

// What a thread gets from the component when it is created; never changes.
struct ThreadLink {
  SerialPort* port;
  const SerialEvent* closeEvent;
  GuiMessageTarget* notifyWindow;
  // The reader's bound: blocks posted and not yet taken, and the signal the
  // GUI thread gives after taking one.
  std::atomic<uint32_t>* pendingBlocks;
  const SerialEvent* roomEvent;

  void Post(uint32_t code, uint32_t param = 0, std::unique_ptr<uint8_t[]> data = {}, size_t size = 0) const {
    TheGuiQueue().Post(GuiMessage{notifyWindow, code, param, std::move(data), size});
  }
  // Nothing is retried after a failure and neither thread closes the port: the
  // owner's OnRequestHangup handler does.
  void SignalHangup() const { Post(CommHangupNotice); }
};

// Starts body on a new thread; false when the system gives no thread.
bool StartThread(std::thread& thread, std::function<void()> body) {
  try {
    thread = std::thread(std::move(body));
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

}  // namespace

// Posts every received block, and the line errors found on the way, until the
// stop signal or a device failure (which it reports as a hang-up).
class TReadThread {
public:
  explicit TReadThread(ThreadLink link) : link_(link) {}
  ~TReadThread() { Join(); }

  bool Start() { return StartThread(thread_, [this] { Execute(); }); }
  void Join() {
    if (thread_.joinable()) thread_.join();
  }

private:
  void Execute() {
    for (;;) {
      if (!WaitForRoom()) break;
      // No limit on the wait for a first byte: the thread sleeps until the
      // line, the stop or a failure wakes it.
      const SerialWait wait = link_.port->WaitInput(*link_.closeEvent, kWaitForeverMs);
      if (wait == SerialWait::Stop) break;
      if (wait != SerialWait::Ready) {
        link_.SignalHangup();
        break;
      }
      // A line error is reported before the bytes that came with it.
      if (const uint32_t errors = link_.port->TakeLineErrors()) link_.Post(CommErrorNotice, errors);
      if (!ReadBlock()) break;
    }
    link_.port->Purge(true, false);
  }

  // Gathers one block: what is there now, then more while the next bytes come
  // within the read interval and the buffer has room. False when the thread is
  // to end; bytes gathered when the stop comes are discarded, as the purge of
  // the stop would discard them.
  bool ReadBlock() {
    size_t count = 0;
    for (;;) {
      size_t moved = 0;
      const SerialIo io = link_.port->Read(buffer_ + count, kReadBufferBytes - count, moved);
      count += moved;
      if (io == SerialIo::Failed) return EndWithHangup(count);
      if (count == kReadBufferBytes) break;
      if (count == 0) return true;  // woken without bytes: wait for a first byte again
      const SerialWait wait = link_.port->WaitInput(*link_.closeEvent, link_.port->ReadIntervalMs());
      if (wait == SerialWait::Stop) return false;
      if (wait == SerialWait::TimedOut) break;
      if (wait != SerialWait::Ready) return EndWithHangup(count);
    }
    return QueueReceived(count);
  }

  // Waits while the GUI thread has kCommMaxPendingBlocks of this port's blocks
  // still to take; false when the stop came first or the wait failed (then
  // reported as a hang-up). The GUI thread lowers the count before it signals,
  // and the signal is cleared before the count is looked at again, so a block
  // taken meanwhile is never missed.
  bool WaitForRoom() {
    for (;;) {
      if (link_.pendingBlocks->load() < kCommMaxPendingBlocks) return true;
      const SerialWait wait = WaitEither(*link_.closeEvent, *link_.roomEvent);
      if (wait == SerialWait::Stop) return false;
      if (wait != SerialWait::Ready) {
        link_.SignalHangup();
        return false;
      }
      link_.roomEvent->Clear();
    }
  }

  // The bytes that came before a device failure are still delivered.
  bool EndWithHangup(size_t count) {
    if (count > 0) QueueReceived(count);
    link_.SignalHangup();
    return false;
  }

  bool QueueReceived(size_t count) {
    std::unique_ptr<uint8_t[]> block = CopyBlock(buffer_, count);
    if (!block) {
      link_.SignalHangup();
      return false;
    }
    // Counted before it is posted, so the GUI thread never takes it uncounted.
    link_.pendingBlocks->fetch_add(1);
    link_.Post(CommDataNotice, 0, std::move(block), count);
    return true;
  }

  ThreadLink link_;
  uint8_t buffer_[kReadBufferBytes] = {};
  std::thread thread_;
};

// Writes the blocks SendData queues, in order and each whole, and reports when
// its queue has run empty.
class TWriteThread {
public:
  explicit TWriteThread(ThreadLink link) : link_(link) {}
  ~TWriteThread() { Join(); }

  // The queue exists before the thread runs, so a block offered right after
  // OpenPort is taken.
  bool Start() { return wake_.Create() && StartThread(thread_, [this] { Execute(); }); }
  void Join() {
    if (thread_.joinable()) thread_.join();
  }

  // GUI thread. Waits up to kCommSendRoomWaitMs while the queue is full.
  // False once the thread has ended (nobody would take the block) or when the
  // queue stayed full; the block is then not queued.
  bool Queue(std::unique_ptr<uint8_t[]> data, uint16_t length) {
    {
      std::unique_lock lock(mutex_);
      const bool room = roomChanged_.wait_for(lock, std::chrono::milliseconds(kCommSendRoomWaitMs),
                                              [&] { return ended_ || HasRoomFor(length); });
      if (!room || ended_) return false;
      queue_.push_back(Block{std::move(data), length});
      queuedBytes_ += length;
    }
    wake_.Set();
    return true;
  }

private:
  struct Block {
    std::unique_ptr<uint8_t[]> data;
    uint16_t length = 0;
  };

  void Execute() {
    bool noticeDue = true;
    for (;;) {
      Block block;
      if (!Take(block)) {
        if (noticeDue) link_.Post(CommSendEmptyNotice);
        noticeDue = false;
        const SerialWait wait = WaitEither(*link_.closeEvent, wake_);
        if (wait == SerialWait::Stop) break;
        if (wait != SerialWait::Ready) {
          link_.SignalHangup();
          break;
        }
        // Cleared before the queue is looked at again, so a block queued from
        // now on sets it anew and is never missed.
        wake_.Clear();
        continue;
      }
      // A block taken in the same moment as the stop is dropped unwritten.
      if (link_.closeEvent->IsSet()) break;
      if (!WriteBlock(block.data.get(), block.length)) break;
      noticeDue = true;
    }
    {
      std::lock_guard lock(mutex_);
      ended_ = true;
      queue_.clear();
      queuedBytes_ = 0;
    }
    roomChanged_.notify_all();
    link_.port->Purge(false, true);
  }

  bool HasRoomFor(size_t length) const {
    if (queue_.empty()) return true;
    return queue_.size() < kCommMaxQueuedSendBlocks && queuedBytes_ + length <= kCommMaxQueuedSendBytes;
  }

  bool Take(Block& block) {
    {
      std::lock_guard lock(mutex_);
      if (queue_.empty()) return false;
      block = std::move(queue_.front());
      queue_.pop_front();
      queuedBytes_ -= block.length;
    }
    roomChanged_.notify_all();
    return true;
  }

  // Writes the whole block, waiting for room as the line drains; false when
  // the stop cuts it short or the device fails.
  bool WriteBlock(const uint8_t* data, size_t length) {
    size_t offset = 0;
    while (offset < length) {
      size_t moved = 0;
      const SerialIo io = link_.port->Write(data + offset, length - offset, moved);
      offset += moved;
      if (io == SerialIo::Failed) {
        link_.SignalHangup();
        return false;
      }
      if (io == SerialIo::Done) continue;
      const SerialWait wait = link_.port->WaitOutput(*link_.closeEvent);
      if (wait == SerialWait::Stop) return false;
      if (wait != SerialWait::Ready) {
        link_.SignalHangup();
        return false;
      }
    }
    return true;
  }

  ThreadLink link_;
  SerialEvent wake_;
  std::mutex mutex_;
  std::condition_variable roomChanged_;  // a block taken, or the thread ended
  std::deque<Block> queue_;
  size_t queuedBytes_ = 0;
  bool ended_ = false;
  std::thread thread_;
};

TComm::TComm() = default;

TComm::~TComm() {
  ClosePort();
  TheGuiQueue().Forget(this);
}

intptr_t TComm::PortHandle() const { return port_ ? port_->Handle() : 0; }

void TComm::OpenPort() {
  if (port_) throw ECommsError("This serial port already opened");
  auto port = std::make_unique<SerialPort>();
  switch (port->Open(p_.CommName)) {
    case SerialPort::OpenResult::Opened:
      break;
    case SerialPort::OpenResult::CannotOpen:
      throw ECommsError("Error opening serial port:" + p_.CommName);
    case SerialPort::OpenResult::NotSerialLine:
      throw ECommsError("File handle is not a comm handle ");
  }
  if (!port->SetupQueues(kDriverQueueBytes, kDriverQueueBytes)) throw ECommsError("Cannot setup comm buffer");
  port_ = std::move(port);
  port_->Purge(true, true);
  ApplyTimeouts();
  ApplyPortSettings();

  CloseEvent = std::make_unique<SerialEvent>();
  RoomEvent = std::make_unique<SerialEvent>();
  if (!CloseEvent->Create() || !RoomEvent->Create()) {
    CloseHandles();
    throw ECommsError("Unable to create event");
  }
  const ThreadLink link{port_.get(), CloseEvent.get(), this, &pendingBlocks_, RoomEvent.get()};
  Reader = std::make_unique<TReadThread>(link);
  if (!Reader->Start()) {
    Reader.reset();
    CloseHandles();
    throw ECommsError("Unable to create read thread");
  }
  Writer = std::make_unique<TWriteThread>(link);
  if (!Writer->Start()) {
    Writer.reset();
    StopReadThread();
    CloseHandles();
    throw ECommsError("Unable to create write thread");
  }
}

void TComm::ClosePort() {
  if (!port_) return;
  StopReadThread();
  StopWriteThread();
  CloseHandles();
}

// The close event stays set once signalled, so the writer sees it too.
void TComm::StopReadThread() {
  if (!Reader) return;
  CloseEvent->Set();
  port_->Purge(true, false);
  Reader->Join();
  Reader.reset();
}

void TComm::StopWriteThread() {
  if (!Writer) return;
  CloseEvent->Set();
  port_->Purge(false, true);
  Writer->Join();
  Writer.reset();
}

void TComm::CloseHandles() {
  CloseEvent.reset();
  RoomEvent.reset();
  port_.reset();
}

bool TComm::SendData(const uint8_t* Data, uint16_t Length) {
  if (!Writer || Length == 0 || Data == nullptr) return false;
  std::unique_ptr<uint8_t[]> copy = CopyBlock(Data, Length);
  return copy && Writer->Queue(std::move(copy), Length);
}

void TComm::HandleGuiMessage(GuiMessage& message) {
  switch (message.code) {
    case CommDataNotice: {
      // Taken once the handler is done with it, also when it throws.
      struct TakenOnExit {
        TComm& comm;
        ~TakenOnExit() {
          comm.pendingBlocks_.fetch_sub(1);
          if (comm.RoomEvent) comm.RoomEvent->Set();
        }
      } taken{*this};
      if (OnReceiveData) OnReceiveData(this, message.data.get(), static_cast<uint16_t>(message.size));
      break;
    }
    case CommErrorNotice:
      if (OnReceiveError) OnReceiveError(this, message.param);
      break;
    case CommHangupNotice:
      if (OnRequestHangup) OnRequestHangup(this);
      break;
    case CommModemNotice:
      if (OnModemStateChange) OnModemStateChange(this, message.param);
      break;
    case CommSendEmptyNotice:
      if (OnSendDataEmpty) OnSendDataEmpty(this);
      break;
    default:
      break;
  }
}

void TComm::ApplyPortSettings() { port_->ApplySettings(p_); }
void TComm::ApplyTimeouts() { port_->ApplyTimeouts(p_); }

template <typename T>
void TComm::ChangeLineSetting(T TCommProperties::*field, T value) {
  if (p_.*field == value) return;
  p_.*field = value;
  if (port_) ApplyPortSettings();
}

void TComm::ChangeTimeout(uint32_t TCommProperties::*field, uint32_t value) {
  if (p_.*field == value) return;
  p_.*field = value;
  if (port_) ApplyTimeouts();
}

void TComm::SetCommName(const std::string& Value) { p_.CommName = Value; }
void TComm::SetParity(TParity Value) { p_.Parity = Value; }

void TComm::SetBaudRate(uint32_t Value) { ChangeLineSetting(&TCommProperties::BaudRate, Value); }
void TComm::SetParityCheck(bool Value) { ChangeLineSetting(&TCommProperties::ParityCheck, Value); }
void TComm::SetOutx_CtsFlow(bool Value) { ChangeLineSetting(&TCommProperties::Outx_CtsFlow, Value); }
void TComm::SetOutx_DsrFlow(bool Value) { ChangeLineSetting(&TCommProperties::Outx_DsrFlow, Value); }
void TComm::SetDtrControl(TDtrControl Value) { ChangeLineSetting(&TCommProperties::DtrControl, Value); }
void TComm::SetDsrSensitivity(bool Value) { ChangeLineSetting(&TCommProperties::DsrSensitivity, Value); }
void TComm::SetTxContinueOnXoff(bool Value) { ChangeLineSetting(&TCommProperties::TxContinueOnXoff, Value); }
void TComm::SetOutx_XonXoffFlow(bool Value) { ChangeLineSetting(&TCommProperties::Outx_XonXoffFlow, Value); }
void TComm::SetInx_XonXoffFlow(bool Value) { ChangeLineSetting(&TCommProperties::Inx_XonXoffFlow, Value); }
void TComm::SetReplaceWhenParityError(bool Value) { ChangeLineSetting(&TCommProperties::ReplaceWhenParityError, Value); }
void TComm::SetIgnoreNullChar(bool Value) { ChangeLineSetting(&TCommProperties::IgnoreNullChar, Value); }
void TComm::SetRtsControl(TRtsControl Value) { ChangeLineSetting(&TCommProperties::RtsControl, Value); }
void TComm::SetXonLimit(uint16_t Value) { ChangeLineSetting(&TCommProperties::XonLimit, Value); }
void TComm::SetXoffLimit(uint16_t Value) { ChangeLineSetting(&TCommProperties::XoffLimit, Value); }
void TComm::SetByteSize(TByteSize Value) { ChangeLineSetting(&TCommProperties::ByteSize, Value); }
void TComm::SetStopBits(TStopBits Value) { ChangeLineSetting(&TCommProperties::StopBits, Value); }
void TComm::SetXonChar(uint8_t Value) { ChangeLineSetting(&TCommProperties::XonChar, Value); }
void TComm::SetXoffChar(uint8_t Value) { ChangeLineSetting(&TCommProperties::XoffChar, Value); }
void TComm::SetReplacedChar(uint8_t Value) { ChangeLineSetting(&TCommProperties::ReplacedChar, Value); }

void TComm::SetReadIntervalTimeout(uint32_t Value) { ChangeTimeout(&TCommProperties::ReadIntervalTimeout, Value); }
void TComm::SetReadTotalTimeoutMultiplier(uint32_t Value) {
  ChangeTimeout(&TCommProperties::ReadTotalTimeoutMultiplier, Value);
}
void TComm::SetReadTotalTimeoutConstant(uint32_t Value) {
  ChangeTimeout(&TCommProperties::ReadTotalTimeoutConstant, Value);
}
void TComm::SetWriteTotalTimeoutMultiplier(uint32_t Value) {
  ChangeTimeout(&TCommProperties::WriteTotalTimeoutMultiplier, Value);
}
void TComm::SetWriteTotalTimeoutConstant(uint32_t Value) {
  ChangeTimeout(&TCommProperties::WriteTotalTimeoutConstant, Value);
}

void ApplyChannelPortDefaults(TComm& comm, int componentIndex) {
  // SPComm1..SPComm4 wait 5 ms for a gap, SPComm5..SPComm8 3 ms.
  constexpr uint32_t kFirstFourIntervalMs = 5;
  constexpr uint32_t kLastFourIntervalMs = 3;
  comm.SetCommName("COM2");
  comm.SetBaudRate(kLineBaud);
  comm.SetParityCheck(false);
  comm.SetOutx_CtsFlow(false);
  comm.SetOutx_DsrFlow(false);
  comm.SetDtrControl(TDtrControl::DtrDisable);
  comm.SetDsrSensitivity(false);
  comm.SetTxContinueOnXoff(false);
  comm.SetOutx_XonXoffFlow(false);
  comm.SetInx_XonXoffFlow(false);
  comm.SetReplaceWhenParityError(false);
  comm.SetIgnoreNullChar(false);
  comm.SetRtsControl(TRtsControl::RtsDisable);
  comm.SetXonLimit(500);
  comm.SetXoffLimit(500);
  comm.SetByteSize(TByteSize::_8);
  comm.SetParity(TParity::None);
  comm.SetStopBits(TStopBits::_2);
  comm.SetXonChar(17);
  comm.SetXoffChar(19);
  comm.SetReplacedChar(0);
  comm.SetReadIntervalTimeout(componentIndex < 4 ? kFirstFourIntervalMs : kLastFourIntervalMs);
  comm.SetReadTotalTimeoutMultiplier(0);
  comm.SetReadTotalTimeoutConstant(0);
  comm.SetWriteTotalTimeoutMultiplier(0);
  comm.SetWriteTotalTimeoutConstant(0);
}
