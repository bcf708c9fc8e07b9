#pragma once
// Intel HEX files: the reader that places data records into FlashImage /
// EepImage by address, and the writer of a byte range of a buffer. GUI thread
// only: the reader asks the user through message boxes and writes the shared
// image buffers, g.EepSum included.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "catalogue/record_file.h"  // result codes, HexPairToByte

// Parses one record line by fixed character positions: ':', length, address,
// type, data, checksum (two characters per byte). Types: 00 data (stored into
// the flash or EEP range by StoreRecordData, bytes added to `sum`), 01 / 03 /
// 05 passed over, 02 / 04 set segmentBase (value x 16) / upperBase (value x
// 65,536), both added into every later data address. A record of length 0
// is taken at once, whatever its type.
//
// Returns kRecordTaken, kRecordBadStart, kRecordBadBase (02 / 04 with an
// address field), kRecordBadChecksum, kRecordUnknownType (06 and up) or
// kRecordOutsideChip. A line shorter than its record needs is
// kRecordBadChecksum and changes nothing: no base, no address, no byte. A
// data record with a wrong checksum stays stored and summed; an 02 / 04
// record with one keeps its new base.
uint8_t ParseHexLine(std::string_view line, uint32_t& upperBase, uint32_t& segmentBase, uint32_t& lowest,
                     uint32_t& highest, uint32_t& sum);

// Reads the file at `path` (see ReadRecordFile): empty lines are skipped, a
// faulty line shows "Line %d : %s, Error=%d." with OK / Abort. `sum` is only
// added to. Throws EInOutError when the file cannot be opened or read.
void LoadHexFile(const std::string& path, uint32_t& lowest, uint32_t& highest, uint32_t& sum);

// Writes start..end (inclusive) of `buffer`, the byte of address a at
// buffer[a - bufferBase], bufferBytes long; only addresses whose byte lies in
// the buffer are written. end <= 0xFFFF: 16-byte records, no extended
// records. Otherwise 32-byte records that never cross a 64 KB boundary, an
// extended linear address record first and after every boundary (also after
// the last byte). Then ":00000001FF". Upper-case digits, CR LF. Throws
// EInOutError when the file cannot be created or written.
void WriteHexFile(const std::string& path, const uint8_t* buffer, size_t bufferBytes, uint32_t bufferBase,
                  uint32_t start, uint32_t end);
