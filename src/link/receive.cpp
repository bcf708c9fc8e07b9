#include "link/receive.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "link/comm.h"
#include "link/firmware.h"
#include "link/framing.h"
#include "link/identify.h"
#include "link/reply_dispatch.h"
#include "shared/state.h"
#include "toolkit/gui_queue.h"

namespace {

// Ticks a channel waits for more bytes once some have arrived.
constexpr uint16_t kReceiveTimeoutTicks = 1000;
// Frames one pass of the frame loop hands on before it looks at the clock: a
// few frames never wait for a later turn, whatever the machine's load.
constexpr int kFramesBeforeSliceEnds = 16;

// Set while the channel's frame loop runs; a handler's nested event loop may
// call back into ReceiveChannelBlock for the same channel.
bool frameLoopRunning[kChannels] = {};

class TFrameLoopMark {
public:
  explicit TFrameLoopMark(uint8_t ch) : ch_(ch) { frameLoopRunning[ch_] = true; }
  ~TFrameLoopMark() { frameLoopRunning[ch_] = false; }
  TFrameLoopMark(const TFrameLoopMark&) = delete;
  TFrameLoopMark& operator=(const TFrameLoopMark&) = delete;

private:
  uint8_t ch_;
};

void AppendBlock(uint8_t ch, const uint8_t* data, uint16_t length) {
  const size_t taken = std::min<size_t>(length, kRxBufferBytes);
  size_t kept = std::min<size_t>(g.RxCount[ch], kRxBufferBytes);
  // Bytes that never closed a frame in a whole buffer's worth are no frame.
  if (kept + taken > kRxBufferBytes) kept = 0;
  std::memcpy(g.RxBuffer[ch] + kept, data, taken);
  g.RxCount[ch] = static_cast<uint16_t>(kept + taken);
}

// The bytes an earlier pass left for later go before anything newer.
void TakeWaiting(uint8_t ch) {
  const uint16_t waiting = std::min<uint16_t>(g.RxWaitingCount[ch], kRxBufferBytes);
  g.RxWaitingCount[ch] = 0;
  if (waiting > 0) AppendBlock(ch, g.RxWaiting[ch], waiting);
}

// Drops the bytes before position, moving the rest to the front.
void ConsumeThrough(uint8_t ch, uint16_t position) {
  const uint16_t count = static_cast<uint16_t>(std::min<size_t>(g.RxCount[ch], kRxBufferBytes));
  const uint16_t consumed = std::min(position, count);
  std::memmove(g.RxBuffer[ch], g.RxBuffer[ch] + consumed, count - consumed);
  g.RxCount[ch] = static_cast<uint16_t>(count - consumed);
}

void RunFrameLoop(uint8_t ch);

// Goes on with the frames that a pass left for a later turn.
class TFrameLoopResume final : public GuiMessageTarget {
public:
  void HandleGuiMessage(GuiMessage& message) override {
    const auto ch = static_cast<uint8_t>(message.param);
    if (!IsChannel(ch)) return;
    TakeWaiting(ch);
    if (!frameLoopRunning[ch]) RunFrameLoop(ch);
  }
};
TFrameLoopResume frameLoopResume;

// Leaves the frames not yet handed on for a later turn: out of the receive
// buffer, so that a step's reset of the buffer still drops no more than an
// incomplete frame, and first in the port's lane of the GUI queue, so that
// the other ports get their turn before them and none of this port's later
// blocks overtakes them. False when the channel has no port to queue behind;
// the loop then goes on.
bool LeaveForLaterTurn(uint8_t ch) {
  const TComm* comm = g.ChannelComm[ch];
  if (comm == nullptr) return false;
  const uint16_t count = static_cast<uint16_t>(std::min<size_t>(g.RxCount[ch], kRxBufferBytes));
  std::memcpy(g.RxWaiting[ch], g.RxBuffer[ch], count);
  g.RxWaitingCount[ch] = count;
  g.RxCount[ch] = 0;
  TheGuiQueue().PostFirst(comm, GuiMessage{&frameLoopResume, 0, ch, nullptr, 0});
  return true;
}

void RunFrameLoop(uint8_t ch) {
  const TFrameLoopMark mark(ch);
  const auto sliceEnd = std::chrono::steady_clock::now() + kGuiTurnSlice;
  for (int handed = 0;; ++handed) {
    uint16_t position = 0;
    uint16_t frameLength = 0;
    if (!ExtractFrame(ch, position, frameLength)) return;  // the incomplete rest stays at the front
    // A port that floods its line holds the others back by one slice at most.
    if (handed >= kFramesBeforeSliceEnds && std::chrono::steady_clock::now() >= sliceEnd && LeaveForLaterTurn(ch))
      return;
    ConsumeThrough(ch, position);
    // A frame that identifies the unit sends the frames after it to the reply dispatch.
    if (g.ChannelLinked[ch] == 0)
      HandleIdentifyReply(frameLength, ch);
    else
      HandleReply(ch, frameLength);
  }
}

}  // namespace

void ReceiveChannelBlock(uint8_t ch, const uint8_t* data, uint16_t length) {
  if (!IsChannel(ch)) return;
  g.ChannelTimer[ch] = kReceiveTimeoutTicks;
  TakeWaiting(ch);
  AppendBlock(ch, data, length);
  if (!frameLoopRunning[ch]) RunFrameLoop(ch);
}

void ReceiveChannelError(uint8_t ch) {
  if (!IsChannel(ch)) return;
  // The block in flight is lost, and with it the upgrade's step.
  EndLostUpgrade(ch);
  g.RxCount[ch] = 0;
  g.ChannelBusy[ch] = 0;
}
