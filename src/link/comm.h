#pragma once
// TComm: the serial port component, one per channel. Opens one serial device
// by name with exclusive access, applies the line settings and time-outs of its
// properties, and while open runs a reader and a writer thread. Everything the
// port reports arrives as events on the GUI thread, through the GUI queue.
//
// Threads: every public member is for the GUI thread only. The component's
// threads touch no program state and never wait for the GUI thread, so ClosePort
// (also from an event handler) can always wait for them.
// Lifetime: the owner calls ClosePort before destroying an open component; the
// destructor closes a port still open all the same, then drops the component's
// notifications still waiting in the GUI queue.
//
// On Linux a port name without '/' names a device under /dev ("ttyUSB0" is
// /dev/ttyUSB0); a name with '/' is the path itself.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "toolkit/gui_queue.h"

enum class TDtrControl : uint8_t { DtrEnable, DtrDisable, DtrHandshake };
enum class TRtsControl : uint8_t { RtsEnable, RtsDisable, RtsHandshake, RtsTransmissionAvailable };
enum class TByteSize : uint8_t { _5, _6, _7, _8 };
enum class TParity : uint8_t { None, Odd, Even, Mark, Space };
enum class TStopBits : uint8_t { _1, _1_5, _2 };

class TComm;
// Buffer is valid only while the handler runs; copy what you keep. One zero
// byte follows the block, not counted in BufferLength.
using TReceiveDataEvent = std::function<void(TComm* Sender, const uint8_t* Buffer, uint16_t BufferLength)>;
using TReceiveErrorEvent = std::function<void(TComm* Sender, uint32_t EventMask)>;
using TModemStateChangeEvent = std::function<void(TComm* Sender, uint32_t ModemEvent)>;
using TNotifyEvent = std::function<void(TComm* Sender)>;
using TSendDataEmptyEvent = TNotifyEvent;

// Bounds of the component's two queues; nothing is ever dropped to keep them.
// The reader stops reading while this many of its port's received blocks wait
// in the GUI queue (at most 2048 bytes each, so 128 KB), and goes on once the
// GUI thread has taken some; meanwhile the bytes wait in the kernel, and the
// line's flow control, if on, holds the sender.
inline constexpr uint32_t kCommMaxPendingBlocks = 64;
// The writer's queue holds at most this many blocks and bytes (a block larger
// than the byte bound is taken when the queue is empty).
inline constexpr size_t kCommMaxQueuedSendBlocks = 64;
inline constexpr size_t kCommMaxQueuedSendBytes = 128 * 1024;
// How long SendData waits for the writer to make room in a full queue.
inline constexpr int kCommSendRoomWaitMs = 100;

// Notification codes posted by the worker threads.
inline constexpr uint32_t CommDataNotice = 0x0401;
inline constexpr uint32_t CommErrorNotice = 0x0402;
inline constexpr uint32_t CommHangupNotice = 0x0403;
inline constexpr uint32_t CommModemNotice = 0x0404;
inline constexpr uint32_t CommSendEmptyNotice = 0x0405;

// Line-error flags of OnReceiveError.
inline constexpr uint32_t CE_RXOVER = 0x1;
inline constexpr uint32_t CE_OVERRUN = 0x2;
inline constexpr uint32_t CE_RXPARITY = 0x4;
inline constexpr uint32_t CE_FRAME = 0x8;
inline constexpr uint32_t CE_BREAK = 0x10;
// Modem events of OnModemStateChange.
inline constexpr uint32_t EV_RING = 4;
inline constexpr uint32_t EV_RLSD = 8;

// The published property values, in their streaming order; the initialisers are
// the constructor's defaults. Units: BaudRate in bits per second, the limits in
// bytes, the time-outs in ms (the multipliers in ms per byte).
//
// What reaches a Linux line: BaudRate (the standard rates up to 4,000,000; any
// other rate leaves the line's speed as it was), ByteSize, StopBits (_1_5 gives
// two, the nearest Linux has), Parity, ParityCheck (input parity checking),
// Outx_CtsFlow or RtsHandshake (RTS/CTS flow control), Outx_XonXoffFlow and
// Inx_XonXoffFlow with XonChar and XoffChar (software flow control), DtrControl
// and RtsControl enable/disable (the DTR and RTS lines, where the device has
// them), and ReadIntervalTimeout (the gap that ends a received block; 0 means
// no gap ends it, so a block ends only when the 2048-byte buffer is full). The
// other properties are stored for the form and have no Linux counterpart: reads
// wait without limit for their first byte and writes never time out.
struct TCommProperties {
  std::string CommName = "COM2";
  uint32_t BaudRate = 9600;
  bool ParityCheck = false;
  bool Outx_CtsFlow = false;
  bool Outx_DsrFlow = false;
  TDtrControl DtrControl = TDtrControl::DtrEnable;
  bool DsrSensitivity = false;
  bool TxContinueOnXoff = true;
  bool Outx_XonXoffFlow = true;
  bool Inx_XonXoffFlow = true;
  bool ReplaceWhenParityError = false;
  bool IgnoreNullChar = false;
  TRtsControl RtsControl = TRtsControl::RtsEnable;
  uint16_t XonLimit = 500;
  uint16_t XoffLimit = 500;
  TByteSize ByteSize = TByteSize::_8;
  TParity Parity = TParity::None;
  TStopBits StopBits = TStopBits::_1;
  uint8_t XonChar = 17;   // DC1
  uint8_t XoffChar = 19;  // DC3
  uint8_t ReplacedChar = 0;
  uint32_t ReadIntervalTimeout = 100;
  uint32_t ReadTotalTimeoutMultiplier = 0;
  uint32_t ReadTotalTimeoutConstant = 0;
  uint32_t WriteTotalTimeoutMultiplier = 0;
  uint32_t WriteTotalTimeoutConstant = 0;
};

class SerialPort;
class SerialEvent;
class TReadThread;
class TWriteThread;

class TComm final : public GuiMessageTarget {
public:
  TComm();
  ~TComm();
  TComm(const TComm&) = delete;
  TComm& operator=(const TComm&) = delete;

  // Opens the port named by CommName with exclusive access, purges it, applies
  // the time-outs and the line settings (a setting the device rejects is left
  // as the device had it, silently), and starts the reader and the writer.
  // Throws ECommsError, with the component left closed unless it was open:
  //   "This serial port already opened" (the open port is not touched),
  //   "Error opening serial port:" + CommName (absent, in use, no access),
  //   "File handle is not a comm handle " (not a character device, or one
  //   that is no terminal line, such as /dev/null or /dev/zero),
  //   "Cannot setup comm buffer", "Unable to create event",
  //   "Unable to create read thread", "Unable to create write thread".
  void OpenPort();
  // Stops both threads and closes the port; returns only when both threads
  // have ended. Blocks still queued for sending are never sent, the block being
  // written is cut short, received bytes not yet read are discarded. Blocks the
  // reader already posted are still delivered as OnReceiveData afterwards.
  // Does nothing while closed.
  void ClosePort();
  // Copies Length bytes from Data and queues the copy for the writer. Returns
  // at once while the writer's queue has room; when it is full (see
  // kCommMaxQueuedSendBlocks and kCommMaxQueuedSendBytes) it waits for the
  // writer to take a block, at most kCommSendRoomWaitMs. False, with nothing
  // queued (the caller still has its bytes and may send them again), when the
  // port is closed, when Length is 0, when the writer has ended after a device
  // failure or when the queue stayed full. Blocks are written in the order
  // they were queued, each whole before the next.
  bool SendData(const uint8_t* Data, uint16_t Length);
  // Non-zero exactly while the port is open.
  intptr_t PortHandle() const;

  // Properties. A setter that changes a line setting while the port is open
  // applies all line settings to the port at once; one that changes a time-out
  // applies the time-outs. CommName is used by the next OpenPort; Parity
  // reaches the line only with the next application of the line settings (the
  // next OpenPort, or an open-port change of another line setting).
  const TCommProperties& Properties() const { return p_; }
  const std::string& CommName() const { return p_.CommName; }
  uint32_t BaudRate() const { return p_.BaudRate; }
  bool ParityCheck() const { return p_.ParityCheck; }
  bool Outx_CtsFlow() const { return p_.Outx_CtsFlow; }
  bool Outx_DsrFlow() const { return p_.Outx_DsrFlow; }
  TDtrControl DtrControl() const { return p_.DtrControl; }
  bool DsrSensitivity() const { return p_.DsrSensitivity; }
  bool TxContinueOnXoff() const { return p_.TxContinueOnXoff; }
  bool Outx_XonXoffFlow() const { return p_.Outx_XonXoffFlow; }
  bool Inx_XonXoffFlow() const { return p_.Inx_XonXoffFlow; }
  bool ReplaceWhenParityError() const { return p_.ReplaceWhenParityError; }
  bool IgnoreNullChar() const { return p_.IgnoreNullChar; }
  TRtsControl RtsControl() const { return p_.RtsControl; }
  uint16_t XonLimit() const { return p_.XonLimit; }
  uint16_t XoffLimit() const { return p_.XoffLimit; }
  TByteSize ByteSize() const { return p_.ByteSize; }
  TParity Parity() const { return p_.Parity; }
  TStopBits StopBits() const { return p_.StopBits; }
  uint8_t XonChar() const { return p_.XonChar; }
  uint8_t XoffChar() const { return p_.XoffChar; }
  uint8_t ReplacedChar() const { return p_.ReplacedChar; }
  uint32_t ReadIntervalTimeout() const { return p_.ReadIntervalTimeout; }
  uint32_t ReadTotalTimeoutMultiplier() const { return p_.ReadTotalTimeoutMultiplier; }
  uint32_t ReadTotalTimeoutConstant() const { return p_.ReadTotalTimeoutConstant; }
  uint32_t WriteTotalTimeoutMultiplier() const { return p_.WriteTotalTimeoutMultiplier; }
  uint32_t WriteTotalTimeoutConstant() const { return p_.WriteTotalTimeoutConstant; }

  void SetCommName(const std::string& Value);
  void SetBaudRate(uint32_t Value);
  void SetParityCheck(bool Value);
  void SetOutx_CtsFlow(bool Value);
  void SetOutx_DsrFlow(bool Value);
  void SetDtrControl(TDtrControl Value);
  void SetDsrSensitivity(bool Value);
  void SetTxContinueOnXoff(bool Value);
  void SetOutx_XonXoffFlow(bool Value);
  void SetInx_XonXoffFlow(bool Value);
  void SetReplaceWhenParityError(bool Value);
  void SetIgnoreNullChar(bool Value);
  void SetRtsControl(TRtsControl Value);
  void SetXonLimit(uint16_t Value);
  void SetXoffLimit(uint16_t Value);
  void SetByteSize(TByteSize Value);
  void SetParity(TParity Value);
  void SetStopBits(TStopBits Value);
  void SetXonChar(uint8_t Value);
  void SetXoffChar(uint8_t Value);
  void SetReplacedChar(uint8_t Value);
  void SetReadIntervalTimeout(uint32_t Value);
  void SetReadTotalTimeoutMultiplier(uint32_t Value);
  void SetReadTotalTimeoutConstant(uint32_t Value);
  void SetWriteTotalTimeoutMultiplier(uint32_t Value);
  void SetWriteTotalTimeoutConstant(uint32_t Value);

  // Events, raised on the GUI thread when it drains TheGuiQueue(), in the order
  // the threads posted them. Unassigned events are skipped; a received block is
  // released after OnReceiveData has returned (or thrown), assigned or not, and
  // only then counts as taken for the reader's bound.
  TReceiveDataEvent OnReceiveData;
  TNotifyEvent OnRequestHangup;  // a thread met a device failure and ended
  TReceiveErrorEvent OnReceiveError;  // CE_ flags of line errors
  TModemStateChangeEvent OnModemStateChange;  // never raised on Linux
  TSendDataEmptyEvent OnSendDataEmpty;  // once after the start, then each time the queue ran empty

private:
  void HandleGuiMessage(GuiMessage& message) override;
  void ApplyPortSettings();
  void ApplyTimeouts();
  void StopReadThread();
  void StopWriteThread();
  void CloseHandles();
  template <typename T>
  void ChangeLineSetting(T TCommProperties::*field, T value);
  void ChangeTimeout(uint32_t TCommProperties::*field, uint32_t value);

  TCommProperties p_;
  std::unique_ptr<SerialPort> port_;
  std::unique_ptr<SerialEvent> CloseEvent;
  // Received blocks posted and not yet taken; outlives a close, as the blocks
  // posted before it are still delivered. RoomEvent wakes the reader when the
  // GUI thread took one; it exists while the port is open.
  std::atomic<uint32_t> pendingBlocks_{0};
  std::unique_ptr<SerialEvent> RoomEvent;
  std::unique_ptr<TReadThread> Reader;
  std::unique_ptr<TWriteThread> Writer;
};

// Gives one of the main window's eight components (componentIndex 0 for SPComm1
// .. 7 for SPComm8) the values of the main window's form: 1,000,000 baud, 8 data
// bits, no parity, 2 stop bits, DTR and RTS held inactive, no flow control, and
// a read interval of 5 ms for SPComm1..SPComm4 and 3 ms for SPComm5..SPComm8.
void ApplyChannelPortDefaults(TComm& comm, int componentIndex);
