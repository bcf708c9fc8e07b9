// Host cost of the per-block work of a programming run: building a 4 KB
// program block (parameter block, data, packet CRC, framing) and taking a
// reply frame apart. At 1,000,000 baud and 11 bits a byte a 4 KB block takes
// about 46 ms on the wire; eight channels' host work per block must stay far
// below that so the line, not the program, sets the pace.
#include <benchmark/benchmark.h>

#include <cstring>

#include "link/commands.h"
#include "link/framing.h"
#include "shared/state.h"
#include "toolkit/random.h"

namespace {

void BM_BuildAndFrameProgramBlock(benchmark::State& state) {
  ResetState();
  g.RomSizeKB = 32;
  for (size_t i = 0; i < 32768; ++i) g.FlashImage[i] = static_cast<uint8_t>(i * 7);
  uint16_t block = 0;
  for (auto _ : state) {
    g.BlockIndex[0] = block;
    block = static_cast<uint16_t>((block + 4) % 32);
    benchmark::DoNotOptimize(SendProgramBlock(kCmdProgramFlash, RandomWord(), 0, 0));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 4096);
}
BENCHMARK(BM_BuildAndFrameProgramBlock);

void BM_ExtractAndDecodeReply(benchmark::State& state) {
  ResetState();
  // A 4 KB data reply, framed, as a read brings it in.
  static uint8_t packet[4096 + 10];
  for (size_t i = 0; i < sizeof packet; ++i) packet[i] = static_cast<uint8_t>(i * 13);
  static uint8_t frame[kFrameBytes];
  const size_t frameLength = SlipEncode(packet, frame, sizeof packet, sizeof frame);
  for (auto _ : state) {
    std::memcpy(g.RxBuffer[0], frame, frameLength);
    g.RxCount[0] = static_cast<uint16_t>(frameLength);
    uint16_t position = 0, length = 0;
    benchmark::DoNotOptimize(ExtractFrame(0, position, length));
    uint16_t decoded = 0;
    uint16_t count = length;
    benchmark::DoNotOptimize(SlipDecode(g.RxFrame[0], g.TxPacket[0], kTxPacketBytes, decoded, count));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 4096);
}
BENCHMARK(BM_ExtractAndDecodeReply);

}  // namespace
