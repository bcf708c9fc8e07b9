#include "catalogue/binary_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "catalogue/data_file_io.h"
#include "toolkit/dialogs.h"
#include "toolkit/errors.h"
#include "toolkit/regular_file.h"

namespace {
constexpr uint32_t kReadChunkBytes = 256;
constexpr const char* kBeyondChipText = "地址超出芯片有效数据范围！";

// Owns one file descriptor; closes it on every path.
class FileHandle {
 public:
  explicit FileHandle(int fd) : fd_(fd) {}
  ~FileHandle() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  int Get() const { return fd_; }
  bool IsOpen() const { return fd_ >= 0; }

 private:
  int fd_;
};

// Reads exactly `count` bytes unless the file ends or fails first; interrupted
// reads are resumed. 0 when all of them came, kEndedEarly when the file ended
// first, else the system's code of the read that failed.
constexpr int kEndedEarly = -1;
int ReadExactly(int fd, uint8_t* into, size_t count) {
  size_t got = 0;
  while (got < count) {
    ssize_t n = ::read(fd, into + got, count - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return kEndedEarly;
    got += static_cast<size_t>(n);
  }
  return 0;
}

// The file is read without sharing: while another opener holds a lock on it,
// it counts as one that cannot be opened, and while we read no other opener
// gets one (the lock goes with the descriptor). Only a lock held elsewhere
// refuses the file: where the file system cannot lock at all (some network
// mounts refuse an exclusive lock on a read-only descriptor) it is read as
// any other file.
bool HeldByAnother(int fd) { return ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK; }

// Why a read took less than the whole file, when it did not simply end: the
// system's code, or the text for a name that is no regular file.
struct ReadFault {
  int code = 0;
  std::string reason;
};

// Whether the opened file may be read, and its whole length: a file of 4 GiB
// or more must meet the limit and the buffer's end as any other large file
// does, not pass as the few bytes left above a multiple of 4 GiB.
bool Readable(const FileHandle& file, uint64_t& size, ReadFault& fault) {
  struct stat st;
  if (!file.IsOpen() || ::fstat(file.Get(), &st) != 0) {
    fault.code = errno;
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    fault.reason = kNotRegularFileText;
    return false;
  }
  if (HeldByAnother(file.Get())) {
    fault.code = EWOULDBLOCK;
    return false;
  }
  size = static_cast<uint64_t>(st.st_size);
  return true;
}

// The one reader behind the entry points; `sum` is null when nothing is summed.
ReadFault ReadChunks(const std::string& path, uint8_t* destination, size_t destinationBytes, uint32_t& limitAndCount,
                     uint32_t* sum) {
  const uint32_t limit = limitAndCount;
  // The position never passes destinationBytes (every buffer here is far
  // below 4 GiB), so it fits the count.
  uint64_t position = 0;
  uint64_t size = 0;
  ReadFault fault;
  // Non-blocking so that a FIFO named as an image cannot hang the GUI thread;
  // only a regular file has a length to read.
  FileHandle file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (Readable(file, size, fault)) {
    uint8_t chunk[kReadChunkBytes];
    while (position < size) {
      const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(kReadChunkBytes, size - position));
      const int read = ReadExactly(file.Get(), chunk, want);
      if (read != 0) {
        // A file that shrank while it was read simply ends there.
        if (read != kEndedEarly) fault.code = read;
        break;
      }
      const size_t room = destinationBytes > position ? destinationBytes - position : 0;
      const uint32_t stored = static_cast<uint32_t>(std::min<size_t>(want, room));
      std::memcpy(destination + position, chunk, stored);
      if (sum)
        for (uint32_t i = 0; i < stored; ++i) *sum += chunk[i];
      position += stored;
      // Tested after the copy: the chunk that crosses the limit is kept whole.
      // Bytes cut off at the destination's end lie past where the caller may
      // store too, so with a limit set they are reported alike.
      if (limit != 0 && (limit < position || stored < want)) {
        ShowMessage(kBeyondChipText);
        break;
      }
      if (stored < want) break;  // the destination is full
    }
  }
  limitAndCount = static_cast<uint32_t>(position);
  return fault;
}
}  // namespace

void ReadBinFile(const std::string& path, uint8_t* destination, size_t destinationBytes, uint32_t& limitAndCount) {
  ReadChunks(path, destination, destinationBytes, limitAndCount, nullptr);
}

void ReadBinFileSum(const std::string& path, uint8_t* destination, size_t destinationBytes, uint32_t& limitAndCount,
                    uint32_t& sum) {
  ReadChunks(path, destination, destinationBytes, limitAndCount, &sum);
}

void LoadBinFileSum(const std::string& path, uint8_t* destination, size_t destinationBytes, uint32_t& limitAndCount,
                    uint32_t& sum) {
  const ReadFault fault = ReadChunks(path, destination, destinationBytes, limitAndCount, &sum);
  if (!fault.reason.empty()) throw EInOutError(path, fault.reason);
  if (fault.code != 0) throw EInOutError(path, fault.code);
}

void WriteBinFile(const std::string& path, const uint8_t* buffer, size_t bufferBytes, uint32_t first, uint32_t last) {
  std::string_view bytes;
  if (last >= first && first < bufferBytes) {
    const size_t end = std::min<size_t>(static_cast<size_t>(last) + 1, bufferBytes);
    bytes = {reinterpret_cast<const char*>(buffer) + first, end - first};
  }
  WriteWholeFile(path, bytes);
}

void FillBytes(uint8_t* buffer, uint32_t count, uint8_t value) { std::memset(buffer, value, count); }
