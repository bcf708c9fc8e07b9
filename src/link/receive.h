#pragma once
// The receive path of a channel: every block a port delivers joins the bytes
// kept in the channel's g.RxBuffer, complete frames are cut out and handed on
// (to HandleIdentifyReply while the channel's unit is not identified, else to
// HandleReply, g.ChannelLinked read again for each frame), and the start of an
// incomplete frame stays at the front of the buffer.
//
// Invariant: g.RxBuffer[ch][0 .. g.RxCount[ch]-1] holds exactly the received
// bytes that no handed-on frame has consumed, in arrival order.
//
// Threads: GUI thread only. Channels 0..7; any other channel is ignored.
// Allocates nothing.

#include <cstdint>

// Takes in one received block of length bytes: ChannelTimer[ch] := 1000, the
// block is appended, and, unless this channel's frame loop is already running
// further up the call stack (a handler that opened a modal box, whose event
// loop delivered this block), every complete frame is handed on in arrival
// order. A nested call only appends; the running loop goes on to its bytes.
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
