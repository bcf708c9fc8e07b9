#pragma once
// TComm: the serial port component, one per channel. Opens one serial device
// by name with exclusive access, applies the line settings and time-outs of its
// properties, and while open runs a reader and a writer thread. Everything the
// port reports arrives as events on the GUI thread, through the GUI queue.
//
// Threads: every public member is for the GUI thread only. The component's
// threads touch no program state.
// Lifetime: the owner calls ClosePort before destroying an open component.

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
