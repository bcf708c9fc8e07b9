// The simulated unit against the program's serial component and framing over
// real pseudo-terminals: its pacing and latencies, one-shot faults, step
// reports and reply cuts as the program's receive path sees them, hang-ups,
// the unit farm of the end-to-end tests, and its own framing checked against
// the program's.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "link/comm.h"
#include "link/framing.h"
#include "link/support/sim_line.h"
#include "link/wire.h"
#include "shared/state.h"
#include "simunit/connection_file.h"
#include "simunit/sim_unit.h"
#include "simunit/sim_wire.h"
#include "support/child_signals.h"
#include "support/gui_wait.h"
#include "support/sim_unit_farm.h"
#include "support/temp_folder.h"
#include "toolkit/gui_queue.h"
#include "toolkit/le_bytes.h"
#include "toolkit/text_file.h"

namespace {

using namespace simline;

using Clock = std::chrono::steady_clock;

// The unit's framing and the program's are written apart; on the line they
// must agree both ways.
TEST(SimUnitFraming, AgreesWithTheProgramsFramingAndCrc) {
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    Bytes packet = Pattern(8 + seed * 37, seed);
    packet[seed % packet.size()] = 0xC0;
    packet[(seed * 3) % packet.size()] = 0xDB;
    ASSERT_EQ(SimPacketCrc(packet.data(), packet.size()),
              PacketCrcRange(packet.data(), 0, static_cast<uint32_t>(packet.size() - 1)));

    // The unit's frame through the program's decoder.
    Bytes frame = SimFrame(packet);
    Bytes decoded(kTxPacketBytes);
    uint16_t length = 0;
    uint16_t count = static_cast<uint16_t>(frame.size());
    ASSERT_EQ(SlipDecode(frame.data(), decoded.data(), decoded.size(), length, count), kFrameOk);
    decoded.resize(length);
    ASSERT_EQ(decoded, packet) << seed;

    // The program's frame, trailing 0xFF bytes and all, through the unit's.
    SimFrameReader reader(kTxPacketBytes);
    int frames = 0;
    for (uint8_t b : FrameOf(packet)) {
      if (!reader.Take(b)) continue;
      ++frames;
      EXPECT_EQ(reader.Result(), 0);
      EXPECT_EQ(reader.Packet(), packet) << seed;
    }
    EXPECT_EQ(frames, 1);
  }
}

TEST(SimUnitFraming, ReaderReportsBadFramesAndGoesOn) {
  const struct {
    const char* name;
    Bytes bytes;
    uint8_t result;
    Bytes packet;
  } kCases[] = {
      {"noise, then a run of 0xC0", {0x11, 0xC0, 0xC0, 0xC0, 0x01, 0x02, 0xC0}, 0, {0x01, 0x02}},
      {"both escapes", {0xC0, 0xDB, 0xDC, 0xDB, 0xDD, 0xC0}, 0, {0xC0, 0xDB}},
      {"a bad escape", {0xC0, 0x01, 0xDB, 0x05, 0x02, 0xC0}, kSimFrameBad, {}},
      {"an escape before the end", {0xC0, 0x01, 0xDB, 0xC0}, kSimFrameBad, {}},
      {"longer than the capacity", Bytes{0xC0, 1, 2, 3, 4, 5, 0xC0}, kSimFrameBad, {}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    SimFrameReader reader(4);
    int frames = 0;
    Bytes stream = c.bytes;
    stream.insert(stream.end(), {0xC0, 0x07, 0xC0});  // a good frame after it
    for (uint8_t b : stream) {
      if (!reader.Take(b)) continue;
      ++frames;
      if (frames == 1) {
        EXPECT_EQ(reader.Result(), c.result);
        EXPECT_EQ(reader.Packet(), c.packet);
      } else {
        EXPECT_EQ(reader.Result(), 0);
        EXPECT_EQ(reader.Packet(), Bytes{0x07});
      }
    }
    EXPECT_EQ(frames, 2);
  }
}

// The time n bytes take on the real line.
std::chrono::microseconds WireTime(size_t n) {
  return std::chrono::microseconds(static_cast<int64_t>(n) * kBitsPerByte * 1000000 / kLineBaud);
}

// A frame as the program's receive path sees it.
struct Received {
  uint8_t decode = 0;  // SlipDecode's result
  Bytes packet;
  int Status() const {
    return decode != kFrameOk ? -1 : CheckPacket(packet.data(), static_cast<uint16_t>(packet.size()));
  }
  Bytes Payload() const {
    if (packet.size() < kPacketHeaderBytes + kPacketCrcBytes) return {};
    return Bytes(packet.begin() + kPacketHeaderBytes, packet.end() - kPacketCrcBytes);
  }
};

// Cuts frames out of bytes as the program's frame loop does; tail: the bytes
// after the last complete frame.
struct Cut {
  std::vector<Received> frames;
  size_t tail = 0;
};

Cut CutFrames(const Bytes& bytes) {
  Cut cut;
  std::vector<uint8_t> frame(kFrameBytes);
  uint16_t position = 0;
  const uint16_t count = static_cast<uint16_t>(std::min<size_t>(bytes.size(), 0xFFFF));
  for (;;) {
    uint16_t length = 0;
    if (!ExtractFrame(bytes.data(), count, position, frame.data(), frame.size(), length)) break;
    Received r;
    r.packet.resize(kTxPacketBytes);
    uint16_t decodedLength = 0;
    uint16_t frameCount = length;
    r.decode = SlipDecode(frame.data(), r.packet.data(), r.packet.size(), decodedLength, frameCount);
    r.packet.resize(decodedLength);
    cut.frames.push_back(r);
    cut.tail = count - position;
  }
  if (cut.frames.empty()) cut.tail = count;
  return cut;
}

// The program's end: its serial component with channel 1's settings (a read
// interval of 5 ms), drained on this thread as the GUI thread would.
class ProgramEnd {
 public:
  explicit ProgramEnd(const std::string& path) {
    ApplyChannelPortDefaults(comm_, 0);
    comm_.SetCommName(path);
    comm_.OnReceiveData = [this](TComm*, const uint8_t* buffer, uint16_t length) {
      blocks_.emplace_back(buffer, buffer + length);
      blockTimes_.push_back(Clock::now());
      ++blocksTaken_;
    };
    comm_.OnRequestHangup = [this](TComm*) { ++hangups_; };
    comm_.OpenPort();
  }
  ~ProgramEnd() {
    comm_.ClosePort();
    TheGuiQueue().Drain();
  }

  void Send(const Bytes& packet) {
    const Bytes frame = FrameOf(packet);
    sentAt_ = Clock::now();
    ASSERT_TRUE(comm_.SendData(frame.data(), static_cast<uint16_t>(frame.size())));
  }
  void SendIdentify() { Send({0xA3, 0xA5, 0x35}); }

  bool DrainUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = kReplyWait) {
    return ::DrainUntil(condition, limit);
  }
  Bytes All() const {
    Bytes all;
    for (const Bytes& b : blocks_) all.insert(all.end(), b.begin(), b.end());
    return all;
  }
  std::vector<Received> Frames() const { return CutFrames(All()).frames; }
  bool WaitForFrames(size_t n) {
    return DrainUntil([&] { return Frames().size() >= n; });
  }
  // The next reply: waits for one more frame than were there.
  std::optional<Received> Reply(const Bytes& packet) {
    const size_t before = Frames().size();
    Send(packet);
    if (!WaitForFrames(before + 1)) return std::nullopt;
    return Frames()[before];
  }
  // From the last Send to the block that completed the latest frame.
  std::chrono::microseconds SinceSend() const {
    return std::chrono::duration_cast<std::chrono::microseconds>(blockTimes_.back() - sentAt_);
  }

  const std::vector<Bytes>& Blocks() const { return blocks_; }
  int Hangups() const { return hangups_; }
  // For a reply shape's pieceTaken: true once more than `before` blocks came.
  std::function<bool()> BlocksPassed(size_t before) const {
    return [this, before] { return blocksTaken_.load() > before; };
  }

 private:
  TComm comm_;
  std::vector<Bytes> blocks_;
  std::vector<Clock::time_point> blockTimes_;
  Clock::time_point sentAt_;
  int hangups_ = 0;
  std::atomic<size_t> blocksTaken_{0};  // read by the unit's serving thread
};

class SimUnitOnComm : public testing::Test {
 protected:
  SimUnitOnComm() { unit_.Start(); }
  SimUnit unit_;
  ProgramEnd end_{unit_.SlavePath()};
};

Bytes BlankCheck() { return Packet(kCmdOperation, kOpBlankCheck, OpPayload()); }
Bytes ReadFlash(uint16_t kb) { return Packet(kCmdReadFlash, kb, OpPayload()); }
Bytes Verify(uint16_t crc) { return Packet(kCmdOperation, kOpVerify, OpPayload(crc)); }
uint16_t BlankCrc() { return Crc16(Bytes(kChipKB * 1024, kSimErasedByte)); }

TEST_F(SimUnitOnComm, PacedUnitAnswersOnlyOnceTheLineCarriedBothFrames) {
  unit_.SetLineRate(kLineBaud);
  const Bytes data = Pattern(kChipKB * 1024, 21);
  const Bytes program = Packet(kCmdProgramFlash, 0, ProgramPayload(data, 0));
  const std::optional<Received> ack = end_.Reply(program);
  ASSERT_TRUE(ack);
  EXPECT_EQ(ack->Status(), 6);
  EXPECT_GE(end_.SinceSend(), WireTime(FrameOf(program).size()));

  // A short command and a 4 KB reply: the reply's own wire time dominates.
  const std::optional<Received> read = end_.Reply(ReadFlash(0));
  ASSERT_TRUE(read);
  EXPECT_EQ(read->Payload(), Bytes(data.begin(), data.begin() + kDataBlockBytes));
  EXPECT_GE(end_.SinceSend(), WireTime(FrameOf(ReadFlash(0)).size() + SimFrame(read->packet).size()));
}

TEST_F(SimUnitOnComm, LatenciesDelayTheirOwnOperation) {
  constexpr auto kLatency = 60ms;
  const Bytes data = Pattern(kChipKB * 1024, 22);
  const struct {
    const char* name;
    SimLatencies latencies;
    Bytes command;
  } kCases[] = {
      {"erase", {kLatency, {}, {}}, Packet(kCmdOperation, kOpErase, OpPayload())},
      {"program block", {{}, kLatency, {}}, Packet(kCmdProgramFlash, 0, ProgramPayload(data, 0))},
      {"verify", {{}, {}, kLatency}, Verify(0)},
      {"read block", {.read = kLatency}, ReadFlash(0)},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    unit_.SetLatencies(c.latencies);
    ASSERT_TRUE(end_.Reply(c.command));
    EXPECT_GE(end_.SinceSend(), kLatency);
  }
}

// The adapter's latency timer: a reply shorter than a USB packet's worth waits
// for it, a longer one (a 4 KB read block) goes out as the bytes gather.
TEST_F(SimUnitOnComm, AdapterHoldsOnlyRepliesShorterThanAPacket) {
  constexpr auto kHold = 2s;
  SimLatencies latencies;
  latencies.adapterHold = kHold;
  unit_.SetLatencies(latencies);
  const std::optional<Received> read = end_.Reply(ReadFlash(0));
  ASSERT_TRUE(read);
  EXPECT_LT(end_.SinceSend(), kHold);
  const std::optional<Received> blank = end_.Reply(BlankCheck());
  ASSERT_TRUE(blank);
  EXPECT_LT(SimFrame(blank->packet).size(), kAdapterPacketBytes);
  EXPECT_GE(end_.SinceSend(), kHold);
}

// One-shot faults, each seen through the program's framing; the same
// command sent again is answered as usual.
struct FaultCase {
  const char* name;
  SimFault fault;
  Bytes command;
  std::function<void(const Received&)> faulty;
  std::function<void(const Received&)> normal;
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class SimUnitFault : public SimUnitOnComm, public testing::WithParamInterface<FaultCase> {};

TEST_P(SimUnitFault, SpoilsOneReplyOnly) {
  const FaultCase& c = GetParam();
  unit_.AddFault(c.fault);
  // A command the fault does not match is answered as usual first.
  const std::optional<Received> other = end_.Reply(Packet(kCmdOperation, kOpChipId, OpPayload()));
  ASSERT_TRUE(other);
  EXPECT_EQ(other->Payload().size(), kChipIdBytes);
  const std::optional<Received> spoilt = end_.Reply(c.command);
  ASSERT_TRUE(spoilt);
  c.faulty(*spoilt);
  EXPECT_EQ(unit_.FaultsPending(), 0u);
  const std::optional<Received> again = end_.Reply(c.command);
  ASSERT_TRUE(again);
  c.normal(*again);
}

void StatusIs(const Received& r, int status) { EXPECT_EQ(r.Status(), status); }

INSTANTIATE_TEST_SUITE_P(
    Kinds, SimUnitFault,
    testing::Values(
        FaultCase{"BadCrc", {SimFaultKind::kBadCrc, kCmdOperation, kOpBlankCheck}, BlankCheck(),
                  [](const Received& r) { StatusIs(r, kPacketCrcBad); },
                  [](const Received& r) { StatusIs(r, 6); }},
        FaultCase{"BadEscape", {SimFaultKind::kBadEscape, kCmdOperation, kOpBlankCheck}, BlankCheck(),
                  [](const Received& r) { EXPECT_EQ(r.decode, kFrameBad); },
                  [](const Received& r) { StatusIs(r, 6); }},
        FaultCase{"TruncatedData", {SimFaultKind::kTruncatedData, kCmdReadFlash, kSimAny, 6, 5}, ReadFlash(4),
                  [](const Received& r) {
                    StatusIs(r, 0);
                    EXPECT_EQ(r.Payload(), Bytes(5, kSimErasedByte));
                  },
                  [](const Received& r) { EXPECT_EQ(r.Payload().size(), kDataBlockBytes); }},
        FaultCase{"OneByteReplyToAVerify", {SimFaultKind::kOneByteReply, kCmdOperation, kOpVerify, 6}, Verify(0),
                  [](const Received& r) {
                    StatusIs(r, 6);
                    EXPECT_EQ(r.packet.size(), kPacketHeaderBytes + 1u + kPacketCrcBytes);
                  },
                  [](const Received& r) { EXPECT_EQ(r.Payload().size(), 6u); }},
        // Matches any command, yet waits for a verify.
        FaultCase{"VerifyDiffers", {SimFaultKind::kVerifyDiffers}, Verify(BlankCrc()),
                  [](const Received& r) {
                    StatusIs(r, 0);
                    EXPECT_EQ(r.Payload().at(0), 48);
                    EXPECT_EQ(GetLe16(r.Payload().data() + 2), BlankCrc());
                  },
                  [](const Received& r) { EXPECT_EQ(r.Payload().at(0), 6); }}),
    [](const testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

TEST_F(SimUnitOnComm, SilenceSkipsOneCommandsReply) {
  unit_.AddFault({SimFaultKind::kSilence, kCmdOperation, kOpBlankCheck});
  end_.Send(BlankCheck());
  ASSERT_TRUE(unit_.WaitForLog(1, kReplyWait));
  // Carried out, not answered: the next reply is the next command's.
  const std::optional<Received> next = end_.Reply(ReadFlash(0));
  ASSERT_TRUE(next);
  EXPECT_EQ(next->Payload().size(), kDataBlockBytes);
  EXPECT_EQ(end_.Frames().size(), 1u);
  EXPECT_EQ(unit_.RepliesSent(), 1u);
  // The log tells when each command came and when its reply left.
  const std::vector<SimPacket> log = unit_.Log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_NE(log[0].receivedAt, Clock::time_point{});
  EXPECT_EQ(log[0].repliedAt, Clock::time_point{});
  EXPECT_GE(log[1].receivedAt, log[0].receivedAt);
  EXPECT_GT(log[1].repliedAt, log[1].receivedAt);
}

TEST_F(SimUnitOnComm, LateReplyLeavesAfterItsDelay) {
  unit_.AddFault({SimFaultKind::kLateReply, kSimAny, kSimAny, 6, 0, 80ms});
  const std::optional<Received> reply = end_.Reply(BlankCheck());
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->Status(), 6);
  EXPECT_GE(end_.SinceSend(), 80ms);
}

TEST_F(SimUnitOnComm, HangUpFaultClosesTheLineInsteadOfAnswering) {
  unit_.AddFault({SimFaultKind::kHangUp, kCmdProgramFlash});
  ASSERT_TRUE(end_.Reply(BlankCheck()));
  end_.Send(Packet(kCmdProgramFlash, 0, ProgramPayload(Pattern(kChipKB * 1024, 1), 0)));
  ASSERT_TRUE(end_.DrainUntil([&] { return end_.Hangups() > 0; }));
  EXPECT_TRUE(unit_.IsHungUp());
  EXPECT_EQ(end_.Frames().size(), 1u);
  EXPECT_TRUE(unit_.ReadFlash(0, 4).size() == 4);  // still queryable
  unit_.Stop();
}

TEST_F(SimUnitOnComm, HangUpWhileIdleIsSeenByTheProgram) {
  ASSERT_TRUE(end_.Reply(BlankCheck()));
  unit_.HangUp();
  ASSERT_TRUE(end_.DrainUntil([&] { return end_.Hangups() > 0; }));
  EXPECT_TRUE(unit_.IsHungUp());
  unit_.SendStepReport(1, 0, 0, 1);  // nothing to write to: dropped, no crash
}

TEST_F(SimUnitOnComm, StepReportsAloneAndInTheSameWriteAsAReply) {
  unit_.SendStepReport({64, 0, 10, 64});
  ASSERT_TRUE(end_.WaitForFrames(1));
  ASSERT_EQ(end_.Frames()[0].packet.size(), kStepReportBytes);
  EXPECT_EQ(end_.Frames()[0].packet[0], kStepReportMark);

  unit_.ShapeNextReply({{{64, 0, 20, 64}}, {{64, 0, 30, 64}}, {}, {}});
  const size_t blocks = end_.Blocks().size();
  ASSERT_TRUE(end_.Reply(BlankCheck()));
  ASSERT_TRUE(end_.WaitForFrames(4));
  // One write, so one block: report, reply, report.
  ASSERT_EQ(end_.Blocks().size(), blocks + 1);
  const Cut cut = CutFrames(end_.Blocks().back());
  ASSERT_EQ(cut.frames.size(), 3u);
  EXPECT_EQ(cut.frames[0].packet, SimStepReportPacket({64, 0, 20, 64}));
  EXPECT_EQ(cut.frames[1].Status(), 6);
  EXPECT_EQ(cut.frames[2].packet, SimStepReportPacket({64, 0, 30, 64}));

  // The identity reply too can carry a report behind it.
  unit_.ShapeNextReply({{}, {{2, 0, 1, 2}}, {}, {}});
  end_.SendIdentify();
  ASSERT_TRUE(end_.WaitForFrames(6));
  const Cut identity = CutFrames(end_.Blocks().back());
  ASSERT_EQ(identity.frames.size(), 2u);
  EXPECT_EQ(identity.frames[0].packet[0], kIdentifyMark[0]);
  EXPECT_EQ(identity.frames[1].packet[0], kStepReportMark);
}

TEST_F(SimUnitOnComm, ReplyCutWithAGapArrivesAsTwoBlocks) {
  const size_t blocks = end_.Blocks().size();
  SimReplyShape shape{{}, {}, {5}, 30ms};
  // The second piece waits for the first block, however late the reader runs.
  shape.pieceTaken = end_.BlocksPassed(blocks);
  unit_.ShapeNextReply(shape);
  const std::optional<Received> reply = end_.Reply(BlankCheck());
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->Status(), 6);
  ASSERT_EQ(end_.Blocks().size(), blocks + 2);
  // The gap outlasted the read interval: the first piece came as a block of its own.
  EXPECT_EQ(end_.Blocks()[blocks].size(), 5u);
}

TEST_F(SimUnitOnComm, SeveralFramesAndAPartialOneInOneWrite) {
  const SimStepReport a{8, 0, 1, 4};
  const SimStepReport b{8, 0, 2, 4};
  const size_t reports = SimFrame(SimStepReportPacket(a)).size() + SimFrame(SimStepReportPacket(b)).size();
  SimReplyShape shape{{a, b}, {}, {reports + 4}, 30ms};
  // Both frames and the start of the third in one block: the rest waits for
  // it, however late the reader runs.
  shape.pieceTaken = end_.BlocksPassed(end_.Blocks().size());
  unit_.ShapeNextReply(shape);
  end_.Send(ReadFlash(0));
  ASSERT_TRUE(end_.WaitForFrames(3));
  const Cut first = CutFrames(end_.Blocks().front());
  ASSERT_EQ(first.frames.size(), 2u);
  EXPECT_EQ(first.tail, 4u);
  const std::vector<Received> all = end_.Frames();
  EXPECT_EQ(all[2].Payload().size(), kDataBlockBytes);
}

// A flood at the line rate: whole reports back to back, and a reply asked
// for meanwhile goes out between two of them, not after the flood.
TEST_F(SimUnitOnComm, AStreamOfReportsLetsRepliesThroughAndSendsEveryFrameWhole) {
  constexpr SimStepReport kReport{240, 6, 0, 0};
  unit_.SetLineRate(kLineBaud);
  std::atomic<bool> streaming{true};
  const Clock::time_point started = Clock::now();
  std::thread stream([&] {
    unit_.StreamStepReports(kReport, SIZE_MAX, 20s);
    streaming = false;
  });
  ASSERT_TRUE(end_.DrainUntil([&] { return end_.Frames().size() >= 100; }));
  const size_t before = end_.Frames().size();
  end_.Send(BlankCheck());
  const auto isReply = [](const Received& r) { return r.packet.size() > kStepReportBytes; };
  ASSERT_TRUE(end_.DrainUntil([&] {
    const std::vector<Received> frames = end_.Frames();
    return std::any_of(frames.begin() + static_cast<ptrdiff_t>(before), frames.end(), isReply);
  }));
  EXPECT_TRUE(streaming);
  unit_.StopStream();
  stream.join();
  const Clock::time_point ended = Clock::now();
  const size_t sent = unit_.StreamedReports();
  ASSERT_TRUE(end_.WaitForFrames(sent + 1));
  const std::vector<Received> frames = end_.Frames();
  ASSERT_EQ(frames.size(), sent + 1);
  for (const Received& frame : frames) {
    if (isReply(frame)) {
      EXPECT_EQ(frame.Status(), 6);
    } else {
      ASSERT_EQ(frame.packet, SimStepReportPacket(kReport));
    }
  }
  // At the line rate: no faster than 11 bits a byte.
  const size_t bytes = sent * SimFrame(SimStepReportPacket(kReport)).size();
  EXPECT_GE(std::chrono::duration_cast<std::chrono::microseconds>(ended - started).count(),
            static_cast<int64_t>(bytes * kBitsPerByte * 1000000 / kLineBaud));
}

TEST_F(SimUnitOnComm, QueriesAndScriptsWhileItServesAreSafe) {
  unit_.SetLineRate(kLineBaud);
  std::atomic<bool> done{false};
  std::thread querier([&] {
    while (!done) {
      (void)unit_.Log();
      (void)unit_.ReadFlash(0, 64);
      (void)unit_.ProgrammedBlocks();
      (void)unit_.RepliesSent();
      unit_.SetLatencies({});
      unit_.SetReplyShape({});
      std::this_thread::sleep_for(100us);
    }
  });
  const Bytes data = Pattern(kChipKB * 1024, 23);
  for (uint16_t kb = 0; kb < kChipKB; kb += 4) {
    const std::optional<Received> ack = end_.Reply(Packet(kCmdProgramFlash, kb, ProgramPayload(data, kb * 1024u)));
    ASSERT_TRUE(ack);
    EXPECT_EQ(ack->Status(), 6);
  }
  done = true;
  querier.join();
  EXPECT_EQ(unit_.ReadFlash(0, kChipKB * 1024), data);
}

TEST(SimUnitFarm, NamesItsUnitsInTheSettingsFileAndEachAnswers) {
  SimUnitFarm farm(3);
  ASSERT_EQ(farm.Size(), 3u);
  const TempFolder temp("orv_farm_");
  const std::string folder = temp.Slashed();
  const std::string path = farm.WriteConfig(folder);
  const std::vector<std::string> lines = ReadTextLines(path);
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[1], "[Connection]");
  EXPECT_EQ(lines[2], "TOTDEV=3");
  for (size_t ch = 0; ch < farm.Size(); ++ch) {
    EXPECT_EQ(lines[3 + ch], "DEV" + std::to_string(ch + 1) + "=" + farm.Unit(ch).SlavePath());
    farm.Unit(ch).SetIdentity(SimIdentity{"OrvantGengX-BEM", "V1." + std::to_string(ch), ",SimUnit", {'O', 'G'}, 1});
    ProgramEnd end(farm.Unit(ch).SlavePath());
    end.SendIdentify();
    ASSERT_TRUE(end.WaitForFrames(1));
    const Bytes identity = end.Frames()[0].packet;
    EXPECT_EQ(std::string(identity.begin() + kIdentityTextOffset, identity.end() - 1),
              "OrvantGengX-BEM V1." + std::to_string(ch) + ",SimUnit");
  }
  EXPECT_TRUE(farm.WaitForAll([](const SimUnit& u) { return u.RepliesSent() == 1; }, kReplyWait));
  EXPECT_THROW(farm.Unit(3), std::out_of_range);
  std::remove(path.c_str());
}

TEST(SimUnitFarm, StopsPromptlyWhateverItsUnitsAreDoing) {
  SimUnitFarm farm(2, kLineBaud);
  farm.Unit(0).AddFault({SimFaultKind::kLateReply, kSimAny, kSimAny, 6, 0, 60s});
  Line late(farm.Unit(0).SlavePath());
  late.Send(BlankCheck());
  ASSERT_TRUE(farm.Unit(0).WaitForLog(1, kReplyWait));
  // Nobody reads unit 1's line: its write waits for room.
  std::thread sender([&] { farm.Unit(1).SendRaw(Bytes(1 << 20, 0x55)); });
  std::this_thread::sleep_for(20ms);
  const auto start = Clock::now();
  farm.StopAll();
  sender.join();
  EXPECT_LT(Clock::now() - start, 5s);
  EXPECT_EQ(farm.Unit(0).RepliesSent(), 0u);
}

// orv-simunit run as a person runs it, its standard output on a pipe. The
// destructor ends a run still going: SIGTERM, then SIGKILL after a bounded wait.
class ToolRun {
 public:
  static std::string Path() {
    const char* dir = std::getenv("ORV_TEST_BUILD_DIR");
    const std::filesystem::path build =
        dir && *dir ? std::filesystem::path(dir)
                    : std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path();
    return (build / "tools" / "orv-simunit").string();
  }

  explicit ToolRun(std::vector<std::string> args) {
    int fds[2];
    if (pipe(fds) != 0) return;
    args.insert(args.begin(), Path());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    // Its usage text on bad options is for a person, not for the test log.
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    if (posix_spawn(&pid_, argv[0], &actions, DefaultSignalsSpawn().Get(), argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    out_ = fds[0];
  }
  ~ToolRun() {
    if (pid_ > 0) Finish(SIGTERM);
    if (out_ >= 0) close(out_);
  }
  bool Started() const { return pid_ > 0; }

  // The next line of its output; nullopt when none came in time.
  std::optional<std::string> ReadLine() {
    const auto deadline = Clock::now() + kReplyWait;
    for (;;) {
      const size_t end = text_.find('\n');
      if (end != std::string::npos) {
        std::string line = text_.substr(0, end);
        text_.erase(0, end + 1);
        return line;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      pollfd entry{out_, POLLIN, 0};
      if (left.count() <= 0 || poll(&entry, 1, static_cast<int>(left.count())) <= 0) return std::nullopt;
      char block[512];
      const ssize_t n = read(out_, block, sizeof block);
      if (n <= 0) return std::nullopt;
      text_.append(block, static_cast<size_t>(n));
    }
  }
  // Sends the signal (0: none) and waits for the exit; its exit code, or -1.
  int Finish(int signal = 0) {
    if (pid_ <= 0) return -1;
    if (signal != 0) kill(pid_, signal);
    int status = 0;
    const auto deadline = Clock::now() + kReplyWait;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (Clock::now() > deadline) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return -1;
      }
      std::this_thread::sleep_for(2ms);
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string text_;
};

class SimUnitTool : public testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(ToolRun::Path())) GTEST_SKIP() << "orv-simunit not built";
  }
};

TEST_F(SimUnitTool, HelpAndBadOptions) {
  ToolRun help({"--help"});
  ASSERT_TRUE(help.Started());
  const std::optional<std::string> first = help.ReadLine();
  ASSERT_TRUE(first);
  EXPECT_NE(first->find("usage: orv-simunit"), std::string::npos);
  EXPECT_EQ(help.Finish(), 0);
  for (const char* bad : {"--fault=nonsense", "--units", "--units 9", "--fault late=abc", "--split 5"}) {
    SCOPED_TRACE(bad);
    std::vector<std::string> args;
    std::string word;
    for (std::istringstream in(bad); in >> word;) args.push_back(word);
    ToolRun run(args);
    EXPECT_EQ(run.Finish(), 2);
  }
}

TEST_F(SimUnitTool, StreamsReportsOnceFoundAndSaysHowMany) {
  ToolRun run({"--paced", "--report", "240,6,0,0", "--report-stream", "50"});
  ASSERT_TRUE(run.Started());
  const std::optional<std::string> path = run.ReadLine();
  ASSERT_TRUE(path);
  Line line(*path);
  ASSERT_TRUE(line.ok());
  line.SendIdentify();
  const std::optional<std::string> said = run.ReadLine();
  ASSERT_TRUE(said);
  size_t count = 0;
  ASSERT_EQ(std::sscanf(said->c_str(), (*path + ": %zu step reports streamed").c_str(), &count), 1) << *said;
  EXPECT_GT(count, 0u);
  // What the tool counted is all written, yet the line hands it over in turns
  // as the reading side makes room: read until every frame came.
  Bytes streamed;
  const auto deadline = Clock::now() + kReplyWait;
  while (CutFrames(streamed).frames.size() < count + 1 && Clock::now() < deadline) {
    const Bytes more = line.ReadWaiting(kReplyWait, 1);
    if (more.empty()) break;
    streamed.insert(streamed.end(), more.begin(), more.end());
  }
  const Cut cut = CutFrames(streamed);
  ASSERT_EQ(cut.frames.size(), count + 1);
  EXPECT_EQ(cut.frames[0].packet[0], kIdentifyMark[0]);
  for (size_t i = 1; i < cut.frames.size(); ++i) ASSERT_EQ(cut.frames[i].packet, SimStepReportPacket({240, 6, 0, 0})) << i;
  EXPECT_EQ(cut.tail, 0u);
  EXPECT_EQ(run.Finish(SIGTERM), 0);
}

TEST_F(SimUnitTool, StartsUnitsByHandAndNamesThemInTheSettingsFile) {
  const TempFolder temp("orv_simtool_");
  const std::string folder = temp.Path().string();
  ToolRun run({"--units", "2", "--write-config", folder, "--paced", "--fault", "one-byte,0x93,5=21"});
  ASSERT_TRUE(run.Started());
  const std::optional<std::string> first = run.ReadLine();
  const std::optional<std::string> second = run.ReadLine();
  ASSERT_TRUE(first && second);
  const std::string config = folder + "/" + kConnectionFileName;
  const std::vector<std::string> lines = ReadTextLines(config);
  EXPECT_EQ(lines, ConnectionConfigLines({*first, *second}));
  for (const std::string& path : {*first, *second}) {
    Line line(path);
    ASSERT_TRUE(line.ok());
    line.Send(BlankCheck());
    EXPECT_EQ(line.NextResult(), 21);  // the one-shot fault, for each unit
    line.Send(BlankCheck());
    EXPECT_EQ(line.NextResult(), 6);
  }
  EXPECT_EQ(run.Finish(SIGTERM), 0);
}

}  // namespace
