#pragma once
// A simulated programmer unit on the far side of a serial line: it answers the
// identify request and every command packet as a unit does, with framing and
// packet CRC of its own (simunit/sim_wire.h), and keeps a chip (flash, EEP,
// configuration bytes, ID) so that program, verify, checksum and reads
// round-trip. Tests and the benchmark shape its timing and its replies.
//
// Threads: Start() runs one serving thread that reads the line and answers;
// every public member may be called from any thread at any time (state, log and
// scripts are guarded by one mutex; writes to the line by another). Stop() (and
// the destructor) ends the thread and waits for it; every wait of the serving
// thread (pacing, latencies, gaps, a full line) ends at once on Stop or
// HangUp, so Stop returns within a few milliseconds.
//
// What it does with what it receives (beyond the program's contract):
//  - every packet's CRC is checked: a bad one is answered with 35; a frame
//    that does not decode, or a packet whose length disagrees with its header,
//    with 42; an unknown command or operation with 37;
//  - the chip size follows the RomSizeKB of every parameter block received;
//    block numbers and addresses outside the chip are answered with 85;
//  - verify answers 6 when the CRC-16/CCITT-FALSE of the chip over the
//    block's FlashStart..FlashEnd equals the block's ImageCrc16, else 48;
//    payload bytes 4-5 carry that expected ImageCrc16;
//  - the off-line information (0x53) is unmasked and both copies, the block's
//    CRC and its sum are checked: copies that differ give 42, a CRC or sum
//    that does not hold 35;
//  - firmware blocks (0xB7) are unmasked into the unit's firmware store; the
//    finish packet (0xBD) makes the unit report the upgrade version (see
//    SetUpgradeVersion, SetUpgradeImageFile) from then on. Neither the reset (0x8A) nor the finish
//    is answered.
//
// Timing: with a line rate set, a frame is answered only once its bytes would
// have arrived on that line (11 bits a byte, the bytes of one read following
// the previous ones), then after the latency of its operation, and the reply
// leaves no faster than the line carries it.

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// What the unit says about itself in its identity reply. The text it sends is
// name, a blank, version, then suffix (so version normally begins with 'V').
struct SimIdentity {
  std::string name = "OrvantGengX-BEM";
  std::string version = "V1.0";
  std::string suffix = ",SimUnit";
  char letters[2] = {'O', 'G'};  // reply bytes 8-9 ("QK" has a meaning)
  uint8_t deviceType = 1;
};

// Protection state of the simulated chip; an erase clears it.
enum class SimProtection : uint8_t {
  kNone,
  kReadProtected16,  // blank check answers 16; reads answer 19
  kReadProtected19,  // blank check answers 19; reads answer 19
  kWriteProtected,   // blank check answers 90; writes answer 16
};

// One frame the unit received.
struct SimPacket {
  std::vector<uint8_t> bytes;  // the decoded packet (empty when the frame was bad)
  uint8_t decodeResult = 0;    // 0, or 42 for a bad frame or one shorter than a header
  // When the read that held the frame's opening byte returned, and when the
  // reply's last byte went onto the line (a default time point: no reply, or
  // not yet). They measure how fast the program turns a reply round.
  std::chrono::steady_clock::time_point receivedAt;
  std::chrono::steady_clock::time_point repliedAt;
  bool IsIdentify() const;
  uint8_t Command() const;    // byte 0, or 0 when empty
  uint16_t Argument() const;  // bytes 1-2, or 0 when shorter
};

// Stores of the unit, bytes: the largest chip the program can address, the
// EEP and the firmware.
inline constexpr uint32_t kSimFlashBytes = 4194304;
inline constexpr uint32_t kSimEepBytes = 16384;
inline constexpr uint32_t kSimFirmwareBytes = 65536;
// The byte of an erased flash or EEP cell.
inline constexpr uint8_t kSimErasedByte = 0xFF;
// Matches any command or operation in SetFailure and SimFault.
inline constexpr int kSimAny = -1;

// A step report as a unit sends it on its own; its check byte is computed.
struct SimStepReport {
  uint8_t step = 0;
  uint8_t result = 0;
  uint16_t progress = 0;
  uint16_t total = 0;
};

// One-shot faults. Each is used by the first answered command (never the
// identify request, the reset or the finish) that it matches, then dropped.
// A fault changes only the reply: the command itself is carried out.
enum class SimFaultKind : uint8_t {
  kBadCrc,         // the reply's packet CRC does not hold
  kBadEscape,      // the reply's frame holds 0xDB followed by a byte that is no escape
  kTruncatedData,  // the reply's payload is cut to keepBytes (its length field and CRC agree)
  kOneByteReply,   // a one-byte result (code) in place of the reply
  kVerifyDiffers,  // a verify answers 48 whatever the chip holds (waits for a verify)
  kSilence,        // no reply at all
  kLateReply,      // the reply leaves delay later
  kHangUp,         // the unit closes its side of the line instead of replying
};

// The longest a reply waits for a test's check (SimFault::heldUntil,
// SimReplyShape::pieceTaken); only a test that never lets go reaches it.
inline constexpr std::chrono::seconds kSimHoldPatience{20};

struct SimFault {
  SimFaultKind kind = SimFaultKind::kSilence;
  int command = kSimAny;    // a command code, or kSimAny
  int operation = kSimAny;  // the packet argument (operation or block), or kSimAny
  uint8_t code = 6;         // kOneByteReply: the result sent
  uint16_t keepBytes = 0;   // kTruncatedData: payload bytes kept
  std::chrono::milliseconds delay{0};  // kLateReply
  // kLateReply: when set, the reply is also held past its delay until this
  // holds (asked on the serving thread, at most kSimHoldPatience), so that a
  // test keeps an exchange open for as long as it needs, whatever the load.
  std::function<bool()> heldUntil{};
};

// How a reply goes onto the line: step reports framed in the same write ahead
// of it and behind it, and the places where the write is cut into several,
// with a pause before each piece after the first. Cuts are byte offsets into
// the whole write (reports included), ascending; those at or past its end are
// ignored. A gap longer than the program's read interval (3 or 5 ms) makes the
// program receive the pieces as separate blocks, if its reader runs in time:
// on a loaded machine it may wake only after the next piece came. A test
// that relies on the cut sets pieceTaken, which the serving thread asks after
// each gap until it holds (at most kSimHoldPatience), so the next piece waits
// until the program has ended its block.
struct SimReplyShape {
  std::vector<SimStepReport> reportsBefore;
  std::vector<SimStepReport> reportsAfter;
  std::vector<size_t> cuts;
  std::chrono::microseconds gap{0};
  std::function<bool()> pieceTaken{};  // called on the serving thread
};

// How long the unit works on an operation before it answers: an erase, each
// program block (flash or EEP), a verify, each read block (flash or EEP).
// adapterHold plays the latency timer of a USB serial adapter between the
// unit and the host: a reply shorter than kAdapterPacketBytes waits that long
// before the host sees it, as the adapter sends only when a packet's worth has
// gathered or its timer runs out.
inline constexpr size_t kAdapterPacketBytes = 62;
struct SimLatencies {
  std::chrono::microseconds erase{0};
  std::chrono::microseconds program{0};
  std::chrono::microseconds verify{0};
  std::chrono::microseconds adapterHold{0};
  std::chrono::microseconds read{0};
};

// A firmware block as the unit stores it: its number (the packet's byte 1
// over 4) and its 2048 bytes unmasked, the fourth byte of every group, which
// does not travel, as 0.
struct SimFirmwareBlock {
  uint32_t number = 0;
  std::vector<uint8_t> bytes;
};
// Unmasks a decoded block packet (0xB7); nothing when it is no whole block.
std::optional<SimFirmwareBlock> SimUnmaskFirmwareBlock(const std::vector<uint8_t>& packet);

// The packet of a step report (8 bytes summing to 0 mod 256), unframed.
std::vector<uint8_t> SimStepReportPacket(const SimStepReport& report);

class SimUnit {
 public:
  // Opens a new pseudo-terminal pair in raw mode; the program opens
  // SlavePath(). Throws std::runtime_error when no pair (or no wake-up fd
  // for Stop) can be opened; nothing stays open then.
  SimUnit();
  // Serves an existing device instead (a tty is set to raw 1,000,000 baud,
  // 8 data bits, 2 stop bits). Throws std::runtime_error when it cannot open
  // it (or no wake-up fd for Stop); nothing stays open then.
  explicit SimUnit(const std::string& attachPath);
  ~SimUnit();
  SimUnit(const SimUnit&) = delete;
  SimUnit& operator=(const SimUnit&) = delete;

  // The path the program opens (the attached path in attach mode).
  const std::string& SlavePath() const { return slavePath_; }

  void Start();
  void Stop();
  // Closes the unit's side of the line, as a unit pulled off the cable: the
  // program's end sees the hang-up. Nothing is received or sent afterwards.
  void HangUp();
  bool IsHungUp() const { return hungUp_; }

  // Identity. After a finish packet that follows at least one block the unit
  // reports a new version: SetUpgradeVersion's, or else the version field of
  // the image file set by SetUpgradeImageFile (the program's "GenXBEM.FWR",
  // read at the finish). The blocks themselves never carry the version, so
  // that file stands for the image the unit received. A file that is not
  // there or holds no version beginning with 'V' leaves the version as it is.
  void SetIdentity(const SimIdentity& identity);
  SimIdentity Identity() const;
  void SetUpgradeVersion(const std::string& version);
  void SetUpgradeImageFile(const std::string& path);

  // Chip state.
  void SetChipSize(uint32_t bytes);  // at most kSimFlashBytes; parameter blocks also set it
  uint32_t ChipSize() const;
  void SetBlank();     // erases flash and EEP, clears protection
  void SetNotBlank();  // writes one non-erased byte at offset 0
  void SetProtection(SimProtection protection);
  // Every command that is answered and matches command (kSimAny or a code)
  // and operation (kSimAny or the packet argument) answers code instead;
  // code 0 clears the rule. The identify request is never affected.
  void SetFailure(uint8_t code, int command = kSimAny, int operation = kSimAny);
  // A silent unit answers no packet; with identifyToo not the identify
  // request either. It still receives and logs.
  void SetSilent(bool silent, bool identifyToo = false);
  void SetChipId(const std::array<uint8_t, 12>& id);
  void WriteFlash(uint32_t offset, const std::vector<uint8_t>& bytes);  // bounded to the chip
  std::vector<uint8_t> ReadFlash(uint32_t offset, uint32_t length) const;  // bounded to the chip
  std::vector<uint8_t> ReadEep(uint32_t offset, uint32_t length) const;    // bounded to 16 KB
  std::array<uint8_t, 16> ConfigBytes() const;  // the settings of the last configuration write

  // What downloads and upgrades left in the unit.
  std::optional<std::array<uint8_t, 512>> OfflineInfo() const;  // last accepted, unmasked
  std::vector<uint8_t> DownloadedFlash(uint32_t offset, uint32_t length) const;
  std::vector<uint8_t> Firmware() const;  // 65,536 bytes
  int FirmwareBlocksReceived() const;     // blocks since the last finish
  int ResetsReceived() const;

  // Timing. SetLineRate: 0 takes and sends as fast as the pty does; else the
  // line of baud bits per second (kLineBaud for the real one) in both
  // directions, 11 bits a byte.
  void SetLineRate(uint32_t baud);
  void SetLatencies(const SimLatencies& latencies);

  // Scripts. AddFault queues a one-shot fault (see SimFault). SetReplyShape
  // shapes every reply; ShapeNextReply queues a shape for one reply (of any
  // kind, the identity reply included), used before the standing one.
  void AddFault(const SimFault& fault);
  size_t FaultsPending() const;
  void SetReplyShape(const SimReplyShape& shape);
  void ShapeNextReply(const SimReplyShape& shape);

  // Sends on its own: a step report, a packet framed as it stands, or raw
  // bytes. Each goes out whole, never inside another write.
  void SendStepReport(const SimStepReport& report);
  void SendStepReport(uint8_t step, uint8_t result, uint16_t progress, uint16_t total);
  void SendFrame(const std::vector<uint8_t>& packet);
  void SendRaw(const std::vector<uint8_t>& bytes);
  // Floods the line: sends the report back to back, frame after frame, as fast
  // as the line takes them (at the line rate when one is set; else as fast as
  // the far end reads), with the unit's replies going out between two frames.
  // Blocks the caller until count frames went out, for at most limit, or until
  // StopStream, Stop or HangUp; a frame is always sent whole. Returns how many
  // frames went out whole. One stream at a time.
  size_t StreamStepReports(const SimStepReport& report, size_t count, std::chrono::milliseconds limit);
  // Ends the running stream after the frame it is sending, or the next one at
  // once when none runs yet (from any thread).
  void StopStream();
  // Frames the running (or last) stream has sent whole so far.
  size_t StreamedReports() const { return streamed_; }

  // What it received, in arrival order.
  std::vector<SimPacket> Log() const;
  void ClearLog();
  // Waits until the log holds at least count frames; false on time-out.
  bool WaitForLog(size_t count, std::chrono::milliseconds timeout) const;
  // The block arguments, in arrival order, of the program blocks (0x95)
  // written into the chip and of the download blocks (0x55) taken.
  std::vector<uint16_t> ProgrammedBlocks() const;
  std::vector<uint16_t> DownloadBlocks() const;
  // Replies that went onto the line whole (identity replies included).
  size_t RepliesSent() const;
  // Waits until at least count replies went out; false on time-out.
  bool WaitForReplies(size_t count, std::chrono::milliseconds timeout) const;

 private:
  struct Failure {
    uint8_t code = 0;
    int command = kSimAny;
    int operation = kSimAny;
  };
  using Clock = std::chrono::steady_clock;
  // A reply ready to go: its bytes and when it may leave.
  struct Outgoing {
    std::vector<uint8_t> bytes;
    SimReplyShape shape;
    std::chrono::microseconds delay{0};
    std::function<bool()> heldUntil;
    bool hangUp = false;
    bool badEscape = false;
    uint64_t serial = 0;  // of the log entry it answers
  };

  void Serve();
  void ServeLine();
  void HandleFrame(const std::vector<uint8_t>& packet, uint8_t decodeResult,
                   Clock::time_point receivedAt, Clock::time_point arrived);
  std::optional<Outgoing> Prepare(const std::vector<uint8_t>& packet, uint8_t decodeResult,
                                  Clock::time_point receivedAt);
  std::optional<SimFault> TakeFault(const std::vector<uint8_t>& packet);
  // Applies a fault to the reply to request; false when no reply goes out.
  static bool Spoil(const SimFault& fault, const std::vector<uint8_t>& request,
                    std::vector<uint8_t>& reply, Outgoing& out);
  std::chrono::microseconds LatencyOf(const std::vector<uint8_t>& packet) const;
  std::vector<uint8_t> Answer(const std::vector<uint8_t>& packet, uint8_t decodeResult);
  std::vector<uint8_t> AnswerPacket(const std::vector<uint8_t>& p);
  std::vector<uint8_t> AnswerOperation(const std::vector<uint8_t>& p);
  uint8_t TakeOfflineInfo(const std::vector<uint8_t>& p);
  uint8_t TakeFirmwareBlock(const std::vector<uint8_t>& p);
  void TakeFirmwareFinish(const std::vector<uint8_t>& p);
  void TakeParamBlock(const std::vector<uint8_t>& p);
  std::vector<uint8_t> IdentityReply() const;
  void WriteShaped(const Outgoing& out);
  void Write(const std::vector<uint8_t>& bytes);
  bool WritePaced(const uint8_t* bytes, size_t n, uint32_t baud);
  bool WriteAll(const uint8_t* bytes, size_t n);
  // Waits until the time point; false when Stop or HangUp came first.
  bool WaitUntil(Clock::time_point when) const;
  // Waits until done holds (none: at once), at most kSimHoldPatience; false
  // as WaitUntil.
  bool WaitUntilHolds(const std::function<bool()>& done) const;
  bool Interrupted() const { return stopping_ || hangUpRequested_; }
  void CloseLine();
  uint32_t LineBaud() const;
  std::chrono::microseconds AdapterHold() const;

  int lineFd_ = -1;
  int slaveFd_ = -1;  // kept open so the master never sees a hang-up
  int wakeFd_ = -1;
  std::string slavePath_;
  std::thread thread_;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> hangUpRequested_{false};
  std::atomic<bool> hungUp_{false};
  std::atomic<bool> serving_{false};
  std::atomic<bool> streamStop_{false};
  std::atomic<size_t> streamed_{0};
  // Replies waiting for the line while a stream runs; the stream lets them go first.
  std::atomic<int> repliesWaiting_{0};

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::mutex writeMutex_;

  SimIdentity identity_;
  std::string upgradeVersion_;
  std::string upgradeImageFile_;
  std::vector<uint8_t> flash_ = std::vector<uint8_t>(kSimFlashBytes, kSimErasedByte);
  std::vector<uint8_t> eep_ = std::vector<uint8_t>(kSimEepBytes, kSimErasedByte);
  std::vector<uint8_t> download_ = std::vector<uint8_t>(kSimFlashBytes, 0);
  std::vector<uint8_t> firmware_ = std::vector<uint8_t>(kSimFirmwareBytes, 0);
  uint32_t chipBytes_ = 16384;
  std::array<uint8_t, 16> config_{};
  std::array<uint8_t, 12> chipId_ = {0x10, 0x11, 0x12, 0x13, 0x14, 0x15,
                                     0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B};
  std::optional<std::array<uint8_t, 512>> offlineInfo_;
  SimProtection protection_ = SimProtection::kNone;
  Failure failure_;
  bool silent_ = false;
  bool silentIdentify_ = false;
  uint32_t lineBaud_ = 0;
  SimLatencies latencies_;
  std::deque<SimFault> faults_;
  SimReplyShape shape_;
  std::deque<SimReplyShape> nextShapes_;
  int firmwareBlocks_ = 0;
  int resets_ = 0;
  size_t repliesSent_ = 0;
  std::vector<SimPacket> log_;
  std::vector<uint64_t> logSerials_;  // one per log_ entry
  uint64_t nextSerial_ = 0;
  std::vector<uint16_t> programmedBlocks_;
  std::vector<uint16_t> downloadBlocks_;
};
