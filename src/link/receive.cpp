#include "link/receive.h"

#include <algorithm>
#include <cstring>

#include "link/firmware.h"
#include "link/framing.h"
#include "link/identify.h"
#include "link/reply_dispatch.h"
#include "shared/state.h"

namespace {

// Ticks a channel waits for more bytes once some have arrived.
constexpr uint16_t kReceiveTimeoutTicks = 1000;

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

// Drops the bytes before position, moving the rest to the front.
void ConsumeThrough(uint8_t ch, uint16_t position) {
  const uint16_t count = static_cast<uint16_t>(std::min<size_t>(g.RxCount[ch], kRxBufferBytes));
  const uint16_t consumed = std::min(position, count);
  std::memmove(g.RxBuffer[ch], g.RxBuffer[ch] + consumed, count - consumed);
  g.RxCount[ch] = static_cast<uint16_t>(count - consumed);
}

void RunFrameLoop(uint8_t ch) {
  const TFrameLoopMark mark(ch);
  for (;;) {
    uint16_t position = 0;
    uint16_t frameLength = 0;
    if (!ExtractFrame(ch, position, frameLength)) return;  // the incomplete rest stays at the front
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
