#pragma once
// The process-wide state of the data model: one instance, `g`, reached by name
// (g.ChannelState[ch]). Names, widths, start values and capacities are those
// of the data model. At load everything is zero, empty or null; the start-up
// and the channel reset give the start values.
//
// Only the GUI thread touches it; the serial threads never do.
// Buffers are fixed for the life of the program. A writer never puts more
// bytes into a slot than the slot's capacity below.

#include <cstddef>
#include <cstdint>
#include <string>

class TComm;
class TGauge;
class TMemo;
class IMainWindow;
class TAboutForm;
class TChipSelectForm;
class TFormOfsAddr;
class TConfigSNForm;
class TSetAddressForm;
// The channel state codes; defined with the operation steps (link/operation_steps.h).
enum class TChannelState : uint8_t;

// Channels 0..7 are used; tables have one spare entry (8), reset with the
// others and otherwise never touched.
inline constexpr int kChannels = 8;
inline constexpr int kChannelSlots = 9;

// The one channel policy of the core: every routine that takes a channel
// accepts 0..7 and, for anything else (the spare entry 8 included), does
// nothing and reports failure where it has a result. A channel number is
// never trusted to index a table unchecked.
constexpr bool IsChannel(int ch) { return ch >= 0 && ch < kChannels; }

// Slot capacities, bytes.
inline constexpr size_t kTxPacketBytes = 6144;
// A framed packet can double in size (every byte escaped) plus the two frame
// ends; the largest command (a 4 KB block with its parameter block) frames to
// over 8 KB, so the 6 KB packet slot is not enough for a frame.
inline constexpr size_t kFrameBytes = 2 * kTxPacketBytes + 2;
// The serial reader hands over at most this many bytes a block.
inline constexpr size_t kReceiveBlockBytes = 2048;
// A channel's unconsumed received bytes: room for the largest frame (a 4 KB
// data reply with many escaped bytes frames to more than 8 KB) still
// incomplete, plus the next block.
inline constexpr size_t kRxBufferBytes = kFrameBytes + kReceiveBlockBytes;

inline constexpr size_t kFlashImageBytes = 4194304;
inline constexpr size_t kEepImageBytes = 16384;
inline constexpr size_t kProjectCfgBlockBytes = 1024;
inline constexpr size_t kFirmwareVersionBytes = 16;

struct DefinBEM {
  // Per-channel tables.
  uint16_t RxCount[kChannelSlots];
  uint16_t ChannelTimer[kChannelSlots];
  std::string PortNames[kChannelSlots];
  TChannelState ChannelState[kChannelSlots];
  uint16_t BlockCount[kChannelSlots];
  uint16_t BlockIndex[kChannelSlots];
  TGauge* ChannelGauge[kChannelSlots];
  TComm* ChannelComm[kChannelSlots];
  uint8_t ChannelUnready[kChannelSlots];
  // An upgrade ended on the channel and its unit was not found current since.
  uint8_t UpgradeCompleted[kChannelSlots];
  uint8_t ChannelLinked[kChannelSlots];
  uint8_t ChannelAuto[kChannelSlots];
  uint8_t ChannelBusy[kChannelSlots];
  uint8_t ChannelTickProgress[kChannelSlots];
  // Payload bytes of the reply the reply dispatch decoded last on the channel
  // into its TxPacket: what a data handler may read beyond the header.
  uint16_t ReplyPayloadBytes[kChannelSlots];

  // Channel counts and run totals.
  uint8_t DeviceCount;
  uint8_t FoundDevices;
  uint8_t DownloadOkCount;
  int32_t TotalOk;
  int32_t TotalNg;

  // Packet and receive buffers: slot n belongs to channel n.
  uint8_t TxPacket[kChannelSlots][kTxPacketBytes];
  uint8_t TxFrame[kChannelSlots][kFrameBytes];
  uint8_t RxFrame[kChannelSlots][kFrameBytes];
  uint8_t RxBuffer[kChannels][kRxBufferBytes];
  // Received bytes that the channel's frame loop left for a later turn (the
  // receive path's own; see link/receive.h), and their number.
  uint8_t RxWaiting[kChannels][kRxBufferBytes];
  uint16_t RxWaitingCount[kChannelSlots];

  // Image buffers.
  uint8_t FlashImage[kFlashImageBytes];
  uint8_t EepImage[kEepImageBytes];
  uint8_t ProjectCfgBlock[kProjectCfgBlockBytes];
  char FirmwareVersion[kFirmwareVersionBytes];

  // Chip parameters.
  uint8_t ChipSeries;
  uint8_t ChipType;
  uint8_t ChipIndex;
  std::string ChipName;
  uint16_t RomSizeKB;
  uint16_t PageSize;
  uint16_t PageCount;
  uint16_t EepSize;
  uint16_t SizeWord5;
  uint16_t SizeWord6;
  uint32_t FlashStart;
  uint32_t FlashEnd;
  uint32_t EepStart;
  uint32_t EepEnd;
  uint32_t BaseAddress;
  uint8_t FillZero;

  // Settings sent to the programmer; CheckFlags..ProgSpeed is the control
  // setting group of every parameter block, in this order.
  uint8_t CheckFlags;
  uint8_t InterfaceFlags;
  uint8_t PowerResetFlags;
  uint8_t ControlByte4;
  uint8_t ControlByte5;
  uint8_t ControlByte6;
  uint8_t ChipModelA;
  uint8_t ControlByte8;
  uint8_t PowerOnDelay;   // 10 ms units
  uint8_t PowerOffDelay;  // 10 ms units
  uint8_t ChipInDelay;    // 30 ms units
  uint8_t ChipOutDelay;   // 30 ms units
  uint8_t ChipModelB;
  uint8_t ControlByte14;
  uint8_t ProgSpeed;
  uint8_t AutoDetect;
  uint16_t RunShutTime;  // 10 ms units
  uint8_t SnFlags;
  uint8_t SnLength;
  uint16_t SnIncrement;
  uint32_t SnAddress;
  uint32_t SnValue;
  int32_t MaxProgramCount;  // -1 = no limit
  uint8_t SnDisplayFlags;

  // Checksums.
  uint16_t ImageCrc16;
  uint16_t ImagePacketCrc;
  uint16_t ImageSum16;
  uint16_t AuxCheckWord1;
  uint16_t AuxCheckWord2;
  uint16_t AuxCheckWord3;
  uint16_t AuxCheckWord4;
  uint32_t ImageSum32;
  uint32_t FileSum;
  uint32_t EepSum;

  // Address ranges of files and reads.
  uint32_t FileStart;
  uint32_t FileEnd;
  uint32_t BinOffset;
  uint32_t ReadAddress;
  uint16_t ReadLength;

  // Flags, 0 or 1.
  uint8_t DataLoaded;
  uint8_t ChipSelected;
  uint8_t ImageValid;
  uint8_t UpgradeStarted;
  uint8_t CommandLineMode;
  uint8_t ExitAfterDownload;
  uint8_t SearchPending;
  uint8_t PortsFromConfig;

  // Texts. ProgramDir ends with '/'.
  std::string ProgramDir;
  std::string DataFileName;
  std::string CmdLineProject;

  // Non-owning references to windows and components.
  IMainWindow* OrvantBEMxPrg;
  TMemo* LogMemo;
  TAboutForm* AboutForm;
  TChipSelectForm* ChipSelectForm;
  TFormOfsAddr* FormOfsAddr;
  TConfigSNForm* ConfigSNForm;
  TSetAddressForm* SetAddressForm;
};

extern DefinBEM g;

// Returns the state to its load values (all zero, empty, null), in place.
// For tests: each starts from a clean load.
void ResetState();
