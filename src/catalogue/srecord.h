#pragma once
// Motorola S-record files: the twin of the Intel HEX reader and writer
// (intel_hex.h), sharing its result codes, storing and reading loop. GUI
// thread only.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "catalogue/record_file.h"

// Parses one line: 'S', type digit, count, big-endian address, data,
// checksum. S1 / S2 / S3 carry 2 / 3 / 4 address bytes and are stored by
// StoreRecordData (recordAddress := their address); S0, S5, S7, S8, S9 are
// passed over unread; S4, S6 and any other type character give
// kRecordBadType. A record is sound when count + address + data + checksum
// sum to 0xFF (8-bit).
//
// Returns kRecordTaken, kRecordBadStart (an empty line included),
// kRecordBadType, kRecordBadChecksum or kRecordOutsideChip. A data record
// whose count leaves no data byte, or a line shorter than its count
// announces, is kRecordBadChecksum and changes nothing.
uint8_t ParseSRecLine(std::string_view line, uint32_t& recordAddress, uint32_t& lowest, uint32_t& highest,
                      uint32_t& sum);

// Reads the file at `path` (see ReadRecordFile): every line is parsed, empty
// ones included; a faulty line shows "Line %d : %s,  Error=%d." with OK /
// Abort. `sum` is only added to. Throws EInOutError when the file cannot be
// opened or read.
void LoadSRecFile(const std::string& path, uint32_t& lowest, uint32_t& highest, uint32_t& sum);

// Writes start..end (inclusive) of `buffer` as in WriteHexFile's contract:
// 32-byte records of S1 (end <= 0xFFFF), S2 (end <= 0xFFFFFF) or S3, chosen by
// the end address alone, counted from the start address, then the S9 / S8 /
// S7 termination. No S0 or S5 record. Upper-case digits, CR LF. Throws
// EInOutError when the file cannot be created or written.
void WriteSRecFile(const std::string& path, const uint8_t* buffer, size_t bufferBytes, uint32_t bufferBase,
                   uint32_t start, uint32_t end);
