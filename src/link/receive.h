#pragma once
// The receive path of a channel: every block a port delivers joins the bytes
// kept in the channel's g.RxBuffer, complete frames are cut out and handed on
// (to HandleIdentifyReply while the channel's unit is not identified, else to
// HandleReply, g.ChannelLinked read again for each frame), and the start of an
// incomplete frame stays at the front of the buffer.
//
// Invariant: g.RxBuffer[ch][0 .. g.RxCount[ch]-1] holds exactly the received
// bytes that no handed-on frame has consumed, in arrival order; while a pass
// of the frame loop has left frames for a later turn, g.RxWaiting[ch] holds
// them (g.RxWaitingCount[ch] bytes) and they go before any newer bytes.
//
// Turns: a pass hands on frames until the block's are done or, once it has
// handed on a few, until the GUI queue's slice (kGuiTurnSlice) has passed.
// Then it leaves the rest for a later turn, first in the lane of the
// channel's port (g.ChannelComm[ch]) in the GUI queue: the other ports and
// the event loop get their turn, and nothing is dropped or reordered. A
// channel without a port hands on all its frames at once.
//
// Threads: GUI thread only. Channels 0..7; any other channel is ignored.
// Allocates nothing but the GUI queue's entry of a later turn.

#include <cstdint>

// Takes in one received block of length bytes: ChannelTimer[ch] := 1000, the
// block is appended after any bytes left waiting, and, unless this channel's
// frame loop is already running further up the call stack (a handler that
// opened a modal box, whose event loop delivered this block), every complete
// frame is handed on in arrival order, in this call or in later turns (see
// Turns). A nested call only appends; the running loop goes on to its bytes.
//
// Bounds: when the kept bytes and the block together do not fit the buffer,
// the kept bytes are dropped first (as a receive error drops them); of a
// block larger than the whole buffer only its first bytes are taken.
//
// The consumed position is committed before each frame is handed on, so that
// a handler that raises leaves the frames after it in the buffer and none
// handled already is handled again; the exception leaves this routine.
void ReceiveChannelBlock(uint8_t ch, const uint8_t* data, uint16_t length);

// A line error on the channel: the kept bytes are dropped and the channel is
// no longer busy; an upgrade running there is lost (EndLostUpgrade). Nothing
// else changes.
void ReceiveChannelError(uint8_t ch);
