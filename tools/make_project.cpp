// make_project: prepares a programming job without the window.
//   make_project CHIP DATA_FILE PROJECT_FILE [BIN_OFFSET]
// CHIP is a part number of the chip list (FU6812L, ...). DATA_FILE is read as
// the console reads it, by its extension: .hex Intel HEX, .s19 (.s1 and a
// digit) S-record, .bin binary placed at BIN_OFFSET (decimal or 0x hex, low
// four bits cleared, default 0). The job takes the chip's defaults, the
// option settings as the window first shows them and the checksums the
// console computes, and is saved as the console saves a project. A data file
// that yields no data byte (no data record, a 0-byte binary) makes no job,
// nor does one whose read fails (the system's reason is printed).
// Exit status: 0 saved, 1 the job could not be made (nothing written), 2 usage.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "catalogue/binary_file.h"
#include "catalogue/chip_catalogue.h"
#include "catalogue/data_file_io.h"
#include "catalogue/data_file_kind.h"
#include "catalogue/intel_hex.h"
#include "catalogue/project_file.h"
#include "catalogue/srecord.h"
#include "link/commands.h"
#include "link/image_checksums.h"
#include "link/wire.h"
#include "shared/state.h"
#include "toolkit/dialogs.h"
#include "toolkit/errors.h"
#include "toolkit/int_conv.h"

namespace {

// A reason the job cannot be made; main prints it and writes nothing.
struct JobError {
  std::string text;
};

// The chip dialog's OK for `name`.
void ChooseChip(const std::string& name) {
  const auto found = std::find(ChipNameList.begin(), ChipNameList.end(), name);
  if (found == ChipNameList.end()) throw JobError{"unknown chip \"" + name + "\""};
  ResetChipSelection();
  SelChipSeries = kFortiorSeries;
  SelChipIndex = static_cast<uint8_t>(found - ChipNameList.begin());
  SetChipParams(name);
  CommitChipSelection(name);
}

// What reading the option controls gives while they show what the window
// first shows: converter board ticked, 5.0 V, fast clock, automatic detection with
// 500 ms in and out, power off after programming, reset held low, 100 ms
// power delays, no count limit, no serial number.
void ApplyFirstShownSettings() {
  if (g.FoundDevices == 0) g.FoundDevices = 1;
  g.CheckFlags &= ~0x40;
  g.InterfaceFlags |= 0x01;
  g.InterfaceFlags &= ~0x10;
  g.AutoDetect = 15;
  g.ChipInDelay = 500 / 30;
  g.ChipOutDelay = 500 / 30;
  g.PowerResetFlags = 0;
  g.RunShutTime = 500 / 10;
  g.PowerOffDelay = 100 / 10;
  g.PowerOnDelay = 100 / 10;
  g.ProgSpeed = 10;
  g.SnFlags = 0;
  g.MaxProgramCount = -1;
  g.SnLength = 4;
  g.SnIncrement = 0x01;
  g.SnValue = 0;
  g.SnAddress = 0x0000FFF0;
  g.InterfaceFlags = static_cast<uint8_t>((g.InterfaceFlags | 0x40) & 0x7C);
  g.SnDisplayFlags = 0;
}

// Loads the data file as the console's fresh load does; every box a reader
// shows is a fault of the file, so its line box is answered Abort.
void LoadData(const std::string& path, uint32_t binOffset) {
  const DataFileKind kind = DataFileKindOf(path);
  if (kind == DataFileKind::Unsupported) throw JobError{path + ": not a .hex, .s19 or .bin file"};
  RequireReadableFile(path);
  const uint8_t blank = g.FillZero ? 0x00 : 0xFF;
  std::fill(std::begin(g.FlashImage), std::end(g.FlashImage), blank);
  std::fill(g.EepImage, g.EepImage + kFreshLoadEepBytes, blank);
  g.DataFileName = std::string(FileNameOf(path));
  g.DataLoaded = 1;
  g.FileSum = 0;

  std::vector<std::string> faults;
  const MessageBoxResponder previous = SetMessageBoxResponder([&faults](const MessageBoxRequest& box) {
    faults.push_back(box.text);
    return (box.buttons & mbAbort) ? ModalResult::Abort : ModalResult::Ok;
  });
  // The readers leave the range as it was when no data record comes, so it
  // starts empty: a file that yields no data byte makes no job.
  g.FileStart = 0xFFFFFFFF;
  g.FileEnd = 0;
  try {
    if (kind == DataFileKind::IntelHex) {
      LoadHexFile(path, g.FileStart, g.FileEnd, g.FileSum);
    } else if (kind == DataFileKind::SRecord) {
      LoadSRecFile(path, g.FileStart, g.FileEnd, g.FileSum);
    } else {
      const uint32_t offset = BinPlacement(binOffset);
      if (offset >= kFlashImageBytes) throw JobError{"BIN_OFFSET lies past the flash image"};
      g.FileStart = 0;
      g.FileEnd = uint32_t{g.RomSizeKB} * 1024;
      LoadBinFileSum(path, g.FlashImage + offset, kFlashImageBytes - offset, g.FileEnd, g.FileSum);
      if (offset + g.FileEnd > g.FlashEnd + 1) faults.push_back("data past the end of the chip's flash");
    }
  } catch (...) {
    SetMessageBoxResponder(previous);
    throw;
  }
  SetMessageBoxResponder(previous);
  if (!faults.empty()) throw JobError{path + ": " + faults.front()};
  if (kind == DataFileKind::Binary) {
    if (g.FileEnd == 0) throw JobError{path + ": holds no data"};  // a byte count here
  } else {
    if (g.FileStart > g.FileEnd) throw JobError{path + ": holds no data"};
    if (g.FileEnd > g.FlashEnd) throw JobError{path + ": data past the end of the chip's flash"};
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4 || argc > 5) {
    std::fprintf(stderr, "usage: %s CHIP DATA_FILE PROJECT_FILE [BIN_OFFSET]\n", argv[0]);
    return 2;
  }
  uint32_t binOffset = 0;
  if (argc == 5) {
    try {
      const int64_t value = StrToInt64(argv[4]);
      // Cut to 32 bits, 0x100001000 would place the data at 0x1000.
      if (value < 0 || value > int64_t{UINT32_MAX}) {
        std::fprintf(stderr, "BIN_OFFSET: %s is no 32-bit offset\n", argv[4]);
        return 2;
      }
      binOffset = static_cast<uint32_t>(value);
    } catch (const EConvertError& e) {
      std::fprintf(stderr, "BIN_OFFSET: %s\n", e.what());
      return 2;
    }
  }
  try {
    ChooseChip(argv[1]);
    LoadData(argv[2], binOffset);
    // The checksums the console computes at the end of a data-file load.
    ComputeImageChecksums(g.FlashStart, g.FlashEnd);
    ApplyFirstShownSettings();
    // The save's own box has nobody to answer it; its text is printed instead.
    SetMessageBoxResponder([](const MessageBoxRequest& box) {
      std::printf("%s\n", box.text.c_str());
      return ModalResult::Ok;
    });
    SaveProjectFile(argv[3], g.ChipSeries, CopyOfflineInfoBlock);
  } catch (const JobError& e) {
    std::fprintf(stderr, "make_project: %s\n", e.text.c_str());
    return 1;
  } catch (const EInOutError& e) {
    std::fprintf(stderr, "make_project: %s\n", e.what());
    return 1;
  }
  return 0;
}
