#pragma once
// Project files (".ptv"): one complete programming job - chip parameters,
// checksums and ranges, the settings as the off-line information block, the
// flash and EEP data - stored masked and protected by a running 32-bit byte
// sum. GUI thread only: the saver and the loader read and write the shared
// state and report through the window log and message boxes.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// Results of LoadProjectFile.
inline constexpr uint8_t kProjectLoaded = 0;
inline constexpr uint8_t kProjectNotAProject = 5;    // magic is not "Tesmar"
inline constexpr uint8_t kProjectNoCfgTag = 10;
inline constexpr uint8_t kProjectNoMfmTag = 13;
inline constexpr uint8_t kProjectNoEepTag = 15;
inline constexpr uint8_t kProjectSumMismatch = 16;
inline constexpr uint8_t kProjectSizesRefused = 17;  // sizes that the image buffers cannot hold

// The masks of the format. Every saved file depends on them: never change
// them. The field mask is a byte that never occurs in UTF-8 text, so no
// character of a name is stored as 0; each tag mask differs from every letter
// of its tag.
inline constexpr uint8_t kProjectFieldMask = 0xF7;
inline constexpr uint8_t kCfgTagMask = 0x5A;
inline constexpr uint8_t kMfmTagMask = 0xA5;
inline constexpr uint8_t kEepTagMask = 0x3C;

inline constexpr size_t kProjectPadBytes = 2050;
inline constexpr size_t kOfflineBlockBytes = 512;

// State of the format, kept from the last save or successful load.
extern uint32_t ProjectSum;         // running byte sum of the last file written or read
extern uint32_t ProjectFlashBytes;  // flash byte count of the last file
extern uint32_t ProjectSpareWord;   // spare header word: read on loading, written back on saving
extern uint8_t ProjectPad[kProjectPadBytes];

// Writes the 512-byte off-line information block of channel 0, as the link
// builds it for the off-line download, into `block`. The console passes the
// link's builder; the catalogue does not reach into the link itself.
using OfflineBlockBuilder = std::function<void(uint8_t* block)>;

// Writes the job to `path`: header, pad, configuration image (the block and
// its copy), g.FlashImage[BaseAddress ..] for RomSizeKB KB, g.EepImage for
// EepSize bytes, sum, random tail. Random bytes are drawn in the format's
// order: pad, CFG key, the builder's own draws, flash keys, EEP word and
// keys, tail. The file is saved as FileReplacement saves (links written
// through, the old file's mode kept, an earlier file intact on failure); its
// checks and its temporary file come before the first draw, so a save that is
// refused (a folder, a write-protected file) or cannot create its file
// changes nothing. Throws EInOutError.
// On success shows and logs "Created Tesmar Project File : " and the path.
void SaveProjectFile(const std::string& path, uint8_t seriesCode, const OfflineBlockBuilder& buildOfflineBlock);

// Reads the job at `path` (a regular file only) and returns a result code.
// Reads into a staging copy: only on result 0 do the header values, the pad,
// g.ProjectCfgBlock and the image bytes reach the shared state; on any other
// result nothing but the message and the log line changes. A file whose
// sizes the buffers cannot hold (BaseAddress + flash bytes past FlashImage,
// fewer than 1024 flash bytes, EepSize past EepImage, or a configuration
// image whose own sizes do not fit) is refused with kProjectSizesRefused
// before any data are read. A file that ends before the bytes the loader
// needs (the 256-byte tail is never read) ends the load at that place: 5 in
// the magic, 10 in the header, the pad or the CFG tag, 13 in the CFG section
// or the MFM tag, 15 in the MFM section or the EEP tag, 16 in the EEP section
// or the sum. The message goes to the window log, and to a message box
// unless g.CommandLineMode. Throws EInOutError when the file cannot be opened
// or read.
uint8_t LoadProjectFile(const std::string& path);

// Unpacks g.ProjectCfgBlock into the chip parameters and settings, and sets
// FlashEnd / EepEnd from them. Sizes that the image buffers cannot hold
// (as after a chip selection, when the block is all 0xFF) leave RomSizeKB,
// EepSize and both ends as they were.
void ApplyProjectCfg();

// The programmer model name of the header's model field (up to 16 characters).
std::string_view ModelNameOf(uint8_t seriesCode);
