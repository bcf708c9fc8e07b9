#pragma once
// The programmer firmware image ("GenXBEM.FWR") and the upgrade of a unit.
//
// The image file is stored scrambled. Layout (offsets in bytes, 16-bit values
// little-endian):
//   0     7     magic "OrvFmWr", every non-zero byte XOR kFirmwareMagicMask
//   7     8     version text, plain (a valid one begins with 'V')
//   15    2     key word K
//   17    2     FirmwareEnd XOR K
//   19    2     unused word XOR K
//   21    2     unused word XOR K
//   23    2     FirmwareBodyLength XOR K
//   25    3290  key bytes
//   3315  L     scrambled body, L = FirmwareBodyLength rounded up to 16
//   +L    876   trailer, only summed
//   +876  4     32-bit byte sum of every byte before it, as stored
//
// Everything here runs on the GUI thread. ch is 0..7 (IsChannel): for any
// other channel the upgrade routines do nothing and the senders return false.
// The loader trusts nothing in the
// file: an image that does not fit the 65,536-byte buffer, or whose header
// names a firmware end outside 4096..36863, is refused (ImageValid 0) before
// any field is used.

#include <cstddef>
#include <cstdint>
#include <string>

inline constexpr size_t kFirmwareImageBytes = 65536;
inline constexpr size_t kFirmwareKeyTableBytes = 4096;

// Image layout, bytes.
inline constexpr size_t kFirmwareMagicBytes = 7;
inline constexpr size_t kFirmwareVersionOffset = 7;
inline constexpr size_t kFirmwareVersionFieldBytes = 8;
inline constexpr size_t kFirmwareKeyWordOffset = 15;
inline constexpr size_t kFirmwareEndOffset = 17;
inline constexpr size_t kFirmwareSpareWord1Offset = 19;
inline constexpr size_t kFirmwareSpareWord2Offset = 21;
inline constexpr size_t kFirmwareBodyLengthOffset = 23;
inline constexpr size_t kFirmwareKeyOffset = 25;
inline constexpr size_t kFirmwareKeyBytes = 3290;  // the rest of the key table is zero
inline constexpr size_t kFirmwareBodyOffset = kFirmwareKeyOffset + kFirmwareKeyBytes;  // 3315
inline constexpr size_t kFirmwareBodyUnitBytes = 16;  // the body is unscrambled 16 bytes at a time
inline constexpr size_t kFirmwareTrailerBytes = 876;
inline constexpr size_t kFirmwareChecksumBytes = 4;
inline constexpr char kFirmwareMagicText[] = "OrvFmWr";

// The largest body that still leaves room for trailer and checksum.
inline constexpr uint32_t kFirmwareBodyLengthMax = 61328;
// Addresses of the firmware in the unit.
inline constexpr uint32_t kFirmwareBaseAddress = 4096;
inline constexpr uint32_t kFirmwareEndMax = 36863;  // 32 blocks

// Total file bytes that an image with this body length takes.
constexpr size_t FirmwareFileBytes(uint32_t bodyLength) {
  const size_t rounded = (bodyLength + kFirmwareBodyUnitBytes - 1) / kFirmwareBodyUnitBytes * kFirmwareBodyUnitBytes;
  return kFirmwareBodyOffset + rounded + kFirmwareTrailerBytes + kFirmwareChecksumBytes;
}

// The state of the loaded image. Replaced whole by every load that passes the
// header checks; zero at program load.
extern uint8_t FirmwareImage[kFirmwareImageBytes];  // the file, then the body from 0
extern uint32_t FirmwareBase;                        // kFirmwareBaseAddress once loaded
extern uint32_t FirmwareEnd;                         // last firmware address
extern uint16_t FirmwareBodyLength;                  // body bytes to unscramble
extern uint8_t FirmwareKeyTable[kFirmwareKeyTableBytes];

// Tests only: back to the load values.
void ResetFirmwareState();

// Field readers over a byte buffer. Each adds every byte it reads to sum
// (wrapping); the caller guarantees that p..p+n-1 lies in its buffer.
uint16_t ReadWordSum(const uint8_t* p, uint32_t& sum);
// n characters: each non-zero byte XOR mask; a zero byte stays character 0.
std::string XorFieldToString(const uint8_t* p, uint32_t& sum, size_t n, uint8_t mask);
void SumBytes(const uint8_t* p, uint32_t& sum, size_t n);
// Copies n (at most 16) bytes into g.FirmwareVersion from its start.
void CopyVersionField(const uint8_t* p, uint32_t& sum, size_t n);

// Scrambling and unscrambling of one 4-byte body group k are the same XOR:
// bytes 0 and 2 with key byte 4*(k mod 1024), bytes 1 and 3 with the next.
void ScrambleFirmwareGroup(uint8_t* group, uint32_t k, const uint8_t* keyTable);

// One image per upgrade. A unit that is being upgraded (a channel in state
// 0xA0) receives every block from the image its upgrade started with: a mix of
// two images, or of an image and a file's raw bytes, may leave the unit unable
// to start. So while FirmwareUpgradeRunning(), LoadFirmwareImage does nothing
// at all: FirmwareImage, the header values, g.FirmwareVersion and
// g.ImageValid stay those of the running upgrade, and a file that does not
// load can never replace the valid image in use. The upgrade command waits
// until no channel upgrades before it loads (and logs that it waits).
//
// An upgrade that can no longer end is no upgrade: a hang-up, a receive error,
// the channel time-out, and a search or off-line start that closes the port
// end it through EndLostUpgrade. Only a channel still in state 0xA0 is
// upgrading, so neither this command nor the search after an upgrade (which
// waits for every channel's ChannelUnready to clear) is held back for ever by
// a unit that went away mid-upgrade.
bool FirmwareUpgradeRunning();

// Ends the channel's upgrade when one runs (state 0xA0): "Firmware Upgrade
// Failed!", the step ended red, and the unit no longer waited on
// (ChannelUnready 0). The next search finds out what the unit now holds.
void EndLostUpgrade(uint8_t ch);

// An upgrade that did not take. A unit that still reports an older version
// (or only the family name) at the search after its completed upgrade
// (g.UpgradeCompleted) is not upgraded again by that search: its flash would
// be rewritten without end. The operator's search and "Do Firmware Ppgrade"
// forget the marks (ForgetCompletedUpgrades), so the next search upgrades such
// a unit once more.
void ForgetCompletedUpgrades();

// Loads and unscrambles the image at path into FirmwareImage and sets
// g.ImageValid (1 only for a right magic and checksum within the limits) and
// g.FirmwareVersion (the version field when it begins with 'V', else zeros).
// A wrong magic, an oversized file or out-of-range header leaves everything
// but FirmwareImage (and FirmwareBase) as it was. A file that cannot be read
// gives no valid image (the callers report a missing file themselves).
// A name that is no regular file (a FIFO, a device) is not read, never waited
// on, and leaves everything but ImageValid (0) as it was. Refused, with
// nothing read or changed, while a channel upgrades (see above).
//
// Returns why the file gives no usable image, for the callers to report with
// its path: the system's reason when it cannot be read, kNotRegularFileText,
// or one of the texts below. Empty when the image is valid, and when the load
// was refused because a channel upgrades.
std::string LoadFirmwareImage(const std::string& path);

// Why an image is not usable (the reasons LoadFirmwareImage gives).
inline constexpr const char* kFirmwareEmptyText = "empty file";
inline constexpr const char* kFirmwareTooLargeFormat = "larger than %u bytes";
inline constexpr const char* kFirmwareNoMagicText = "no firmware image (wrong magic)";
inline constexpr const char* kFirmwareHeaderCutShortFormat = "cut short in its header (%u bytes)";
inline constexpr const char* kFirmwareEndOutOfRangeFormat = "firmware end 0x%0.4x outside 0x%0.4x..0x%0.4x";
inline constexpr const char* kFirmwareBodyTooLongFormat = "body length %u over %u bytes";
inline constexpr const char* kFirmwareCutShortFormat = "cut short (%u of %u bytes)";
inline constexpr const char* kFirmwareChecksumMismatchFormat = "checksum mismatch (stored 0x%0.8x, computed 0x%0.8x)";

// The image file's name, and its path in the program folder (ProgramDir).
inline constexpr const char* kFirmwareFileName = "GenXBEM.FWR";
std::string FirmwareImagePath();

// Starts the upgrade of one channel: state 0xA0, busy, unready, its gauge, the
// log line and block 0. Does nothing while g.ImageValid is 0.
void StartFirmwareUpgrade(uint8_t ch);
// The reply handler of state 0xA0: any reply acknowledges the block in flight
// (the status is not examined); sends the next block, or after the last one
// the finish packet, marks the channel's upgrade completed and ends its step.
void FirmwareBlockDone(uint8_t status, uint8_t ch);

// Build in g.TxPacket[ch], frame into g.TxFrame[ch] and send on the channel's
// component. Block b carries FirmwareImage bytes 2048*b (mod 65,536) onwards,
// masked with the draws of Random: the word, two bytes, then the random half.
// Result: that of SendData (false without a component).
bool SendFirmwareBlock(uint16_t block, uint8_t ch);
bool SendFirmwareFinish(uint8_t ch);

// Packet sizes before framing, bytes.
inline constexpr uint16_t kFirmwareBlockPacketBytes = 4138;
inline constexpr uint16_t kFirmwareFinishPacketBytes = 12;
