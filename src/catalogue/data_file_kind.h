#pragma once
// Which reader takes a target data file, by the extension of its name, where
// a binary file goes in FlashImage, and what a fresh load blanks. Pure
// functions; any thread.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

enum class DataFileKind { IntelHex, SRecord, Binary, Unsupported };

// The file name in `path`: what follows its last '/'.
std::string_view FileNameOf(std::string_view path);

// The extension of the file name in `path` (the folders are never looked at):
// from the name's last '.', the dot included, ASCII letters upper-cased; empty
// when the name has no dot.
std::string DataFileExtension(std::string_view path);

// ".HEX" is Intel HEX; an extension whose 2nd, 3rd and 4th characters are 'S',
// '1' and a decimal digit is S-record (".S19", ".S19A"; ".S1" and ".S" are
// not); ".BIN" is binary; anything else, no extension included, is Unsupported.
// Letter case does not matter.
DataFileKind DataFileKindOf(std::string_view path);

// A binary file starts at its offset with the low four bits cleared.
inline constexpr uint32_t kBinOffsetAlignMask = ~uint32_t{0xF};
inline uint32_t BinPlacement(uint32_t binOffset) { return binOffset & kBinOffsetAlignMask; }
// The bytes a binary file placed at `placement` may fill before it passes the
// chip's flash end (`flashEnd`, its last address) or the end of an image of
// `imageBytes`: the size limit of its read. 0 when it starts at or past either.
uint32_t BinRoomToChipEnd(uint32_t placement, uint32_t flashEnd, size_t imageBytes);

// A fresh load blanks the whole FlashImage but only this much of EepImage.
inline constexpr uint32_t kFreshLoadEepBytes = 13684;
