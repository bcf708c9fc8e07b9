#pragma once
// Wire constants that the program and the simulated programmer unit must
// agree on. Both ends include this one header.

#include <cstdint>

// Fixed bytes from which the two key bytes of the off-line information
// packet are made (key0 from the argument's low byte, key1 from its high byte).
inline constexpr uint8_t kOfflineKeyFixed0 = 0x5A;
inline constexpr uint8_t kOfflineKeyFixed1 = 0x3C;

// One-byte mask of the magic word "OrvFmWr" at the start of a firmware image;
// zero bytes are stored unmasked.
inline constexpr uint8_t kFirmwareMagicMask = 0xA7;

// Line rate of every channel, bits per second, and the bits one byte takes on
// the wire (start, 8 data, 2 stop).
inline constexpr uint32_t kLineBaud = 1000000;
inline constexpr uint32_t kBitsPerByte = 11;

// Packet layout (all multi-byte fields little-endian): header bytes, the
// offsets of its fields, and the trailing packet CRC.
inline constexpr uint16_t kPacketHeaderBytes = 8;
inline constexpr uint16_t kPacketCrcBytes = 2;
inline constexpr uint16_t kHeaderCommandOffset = 0;
inline constexpr uint16_t kHeaderArgumentOffset = 1;  // u16
inline constexpr uint16_t kHeaderChipOffset = 3;      // ChipSeries, ChipType, ChipIndex
inline constexpr uint16_t kHeaderLengthOffset = 6;    // u16 payload length n

// Command codes (packet byte 0).
inline constexpr uint8_t kCmdOperation = 0x93;      // argument: one of the kOp codes
inline constexpr uint8_t kCmdProgramFlash = 0x95;   // argument: block number in KB
inline constexpr uint8_t kCmdProgramEep = 0x99;     // argument: block number in KB
inline constexpr uint8_t kCmdReadFlash = 0x9B;      // argument: block number in KB
inline constexpr uint8_t kCmdReadEep = 0x9D;        // argument: block number in KB
inline constexpr uint8_t kCmdOfflineInfo = 0x53;    // argument: random key value
inline constexpr uint8_t kCmdDownloadFlash = 0x55;  // argument: block number in KB
inline constexpr uint8_t kCmdDownloadEep = 0x5A;    // argument: block number in KB
inline constexpr uint8_t kCmdReset = 0x8A;          // no reply is awaited
inline constexpr uint8_t kCmdFirmwareBlock = 0xB7;
inline constexpr uint8_t kCmdFirmwareFinish = 0xBD;  // no reply is awaited

// Operations of kCmdOperation (packet argument).
inline constexpr uint16_t kOpErase = 3;
inline constexpr uint16_t kOpBlankCheck = 5;
inline constexpr uint16_t kOpChipId = 60;
inline constexpr uint16_t kOpWriteConfig = 0x53;  // the letter 'S'
inline constexpr uint16_t kOpVerify = 85;         // verify and chip checksum
inline constexpr uint16_t kOpReadAddress = 121;

// ChipParamBlock (80 bytes at payload offset 0 of most commands): offsets of
// its fields. Addresses travel as their bits 8-23; u16 fields are
// little-endian; bytes 0-2 and 47 are zero.
inline constexpr uint16_t kParamBlockBytes = 80;
inline constexpr uint16_t kParamChipOffset = 3;           // ChipSeries, ChipType, ChipIndex
inline constexpr uint16_t kParamRandom0Offset = 6;        // random byte, drawn first
inline constexpr uint16_t kParamAutoDetectOffset = 7;
inline constexpr uint16_t kParamArgumentOffset = 8;       // u16, the block's own argument
inline constexpr uint16_t kParamRandom1Offset = 10;       // random byte, drawn second
inline constexpr uint16_t kParamRandom2Offset = 11;       // random byte, drawn third
inline constexpr uint16_t kParamFlashStartOffset = 12;    // u16: address bits 8-23
inline constexpr uint16_t kParamFlashEndOffset = 14;      // u16: address bits 8-23
inline constexpr uint16_t kParamRomSizeKBOffset = 16;
inline constexpr uint16_t kParamPageSizeOffset = 18;
inline constexpr uint16_t kParamPageCountOffset = 20;
inline constexpr uint16_t kParamEepSizeOffset = 22;
inline constexpr uint16_t kParamSizeWord5Offset = 24;
inline constexpr uint16_t kParamSizeWord6Offset = 26;
inline constexpr uint16_t kParamEepStartOffset = 28;      // u16: address bits 8-23
inline constexpr uint16_t kParamEepEndOffset = 30;        // u16: address bits 8-23
// 16 bytes of settings: CheckFlags..ProgSpeed (15) and a zero byte.
inline constexpr uint16_t kParamControlGroupOffset = 32;
inline constexpr uint16_t kParamControlGroupBytes = 16;
// CheckFlags bit: a chip that is not blank ends the run with an error instead
// of being erased (the option "非空报错退出").
inline constexpr uint8_t kCheckNotBlankIsErrorBit = 0x40;
inline constexpr uint16_t kParamImagePacketCrcOffset = 48;
inline constexpr uint16_t kParamImageSum16Offset = 50;
inline constexpr uint16_t kParamAuxCheckWordsOffset = 52;  // AuxCheckWord1..4, u16 each
inline constexpr uint16_t kParamImageCrc16Offset = 60;
// The read-from-address command carries ReadAddress (u32) and ReadLength
// (u16) at these payload offsets.
inline constexpr uint16_t kReadAddressOffset = 48;
inline constexpr uint16_t kReadLengthOffset = 52;

// Data blocks of the program, read and download commands, bytes.
inline constexpr uint16_t kDataBlockBytes = 4096;
inline constexpr uint16_t kChipIdBytes = 12;
// The data reply to a verification or checksum read: the unit's result byte,
// then the chip's CRC-16 and a second value (both u16), payload offsets.
inline constexpr uint16_t kCheckResultOffset = 0;
inline constexpr uint16_t kCheckChipCrcOffset = 2;
inline constexpr uint16_t kCheckSecondCrcOffset = 4;
inline constexpr uint16_t kCheckReplyBytes = 6;

// OfflineInfoBlock: 512 bytes, sent twice and masked in kCmdOfflineInfo.
inline constexpr uint16_t kOfflineInfoBytes = 512;
inline constexpr uint16_t kOfflineInfoCrcOffset = 508;  // packet CRC of bytes 0..507
inline constexpr uint16_t kOfflineInfoSumOffset = 510;  // 16-bit sum of bytes 0..509

// Firmware block packet: the first half of the payload is masked with the
// second (random) half; one block carries 2048 firmware bytes, three of each
// four (the fourth is not sent).
inline constexpr uint16_t kFirmwareBlockBytes = 2048;
inline constexpr uint16_t kFirmwarePayloadBytes = 0x1020;
inline constexpr uint16_t kFirmwareMaskWordOffset = 2;  // u16 W in place of the argument

// Identify request (three bytes framed, no header, no CRC) and the identity
// reply: its mark, the text length L (u16) at 6, two letters at 8 and the
// unit's text (name, blank, 'V' and version, more) of L + 1 bytes at 28.
inline constexpr uint8_t kIdentifyMark[3] = {0xA3, 0xA5, 0x35};
inline constexpr uint16_t kIdentityDeviceTypeOffset = 4;
inline constexpr uint16_t kIdentityTextLengthOffset = 6;
inline constexpr uint16_t kIdentityLettersOffset = 8;
inline constexpr uint16_t kIdentityTextOffset = 28;

// Step report: 8 bytes a unit sends on its own (mark, step, result, progress,
// total, check byte); the bytes sum to 0 mod 256.
inline constexpr uint8_t kStepReportMark = 0xFD;
inline constexpr uint16_t kStepReportBytes = 8;
inline constexpr uint16_t kReportStepOffset = 1;
inline constexpr uint16_t kReportResultOffset = 2;
inline constexpr uint16_t kReportProgressOffset = 3;  // u16
inline constexpr uint16_t kReportTotalOffset = 5;     // u16
