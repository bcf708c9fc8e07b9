#pragma once
// Raw binary files: whole files into a buffer and byte ranges of a buffer out
// to a file. GUI thread only (the size-limit message is a message box).

#include <cstddef>
#include <cstdint>
#include <string>

// Reads the file at `path` into destination[0..] in 256-byte chunks.
//
// limitAndCount: on entry the size limit in bytes, 0 for none; on return the
// number of bytes stored. The file's length is taken whole, so a file of 4 GiB
// or more meets the limit and the buffer's end as any file longer than them. A file longer than a non-zero limit shows the box
// "地址超出芯片有效数据范围！" once the chunk that crosses the limit has been
// stored, so up to 255 bytes past the limit are taken.
//
// destinationBytes is the room at `destination`; nothing is written past it.
// A file that would overrun it is cut at the buffer's end: the count is then
// destinationBytes and the rest of the file is left unread; with a non-zero
// limit the box is shown then too (no box without a limit).
//
// The file is held with an exclusive lock (flock) while it is read; one that
// another opener holds locked counts as one that cannot be opened.
// A file that cannot be opened, or is no regular file, reads as empty (count 0, no message); a read
// that fails part way stops there silently, counting only the bytes before it.
void ReadBinFile(const std::string& path, uint8_t* destination, size_t destinationBytes, uint32_t& limitAndCount);

// ReadBinFile that also adds every byte it stores to `sum` (wrapping modulo
// 2^32). The sum is not cleared here.
void ReadBinFileSum(const std::string& path, uint8_t* destination, size_t destinationBytes, uint32_t& limitAndCount,
                    uint32_t& sum);

// ReadBinFileSum for a data file the user loads: a file that cannot be
// opened, is no regular file or is held by another opener, or whose read
// fails part way, throws EInOutError (path and the system's reason) once the
// bytes before the failure are stored, summed and counted.
void LoadBinFileSum(const std::string& path, uint8_t* destination, size_t destinationBytes, uint32_t& limitAndCount,
                    uint32_t& sum);

// Creates or replaces the file at `path` with buffer[first..last], nothing
// else; last below first creates an empty file. bufferBytes is the size of
// `buffer`: a range reaching past it is written only up to the buffer's end.
// Throws EInOutError (path and the system's reason) when the file cannot be
// created or fully written.
void WriteBinFile(const std::string& path, const uint8_t* buffer, size_t bufferBytes, uint32_t first, uint32_t last);

// Sets buffer[0..count-1] to value.
void FillBytes(uint8_t* buffer, uint32_t count, uint8_t value);
