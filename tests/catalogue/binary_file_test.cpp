#include "catalogue/binary_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numeric>
#include <string>
#include <vector>

#include "toolkit/errors.h"
#include "toolkit/regular_file.h"
#include "toolkit/scripted_dialogs.h"
#include "support/temp_folder.h"

namespace {

constexpr const char* kBeyondChipText = "地址超出芯片有效数据范围！";
constexpr uint8_t kUntouched = 0xEE;

class BinaryFileTest : public ::testing::Test {
 protected:
  std::string PathOf(const std::string& name) const { return folder_.File(name); }

  // A file of `size` bytes whose byte i is a function of i, so misplaced bytes show.
  std::string MakeFile(const std::string& name, size_t size) {
    std::vector<uint8_t> bytes = Pattern(size);
    std::ofstream out(PathOf(name), std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return PathOf(name);
  }

  static std::vector<uint8_t> Pattern(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
    return bytes;
  }

  static std::vector<uint8_t> FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  TempFolder folder_{"orv_bin_"};
  ScriptedMessageBoxes boxes_;
};

struct LimitCase {
  const char* name;
  uint32_t limit;
  size_t fileBytes;
  size_t destinationBytes;
  uint32_t count;
  bool message;
};

// clang-format off
const LimitCase kLimitCases[] = {
//   name                     limit  file    room    count  message
    {"exactly the limit",     16384, 16384,  20480,  16384, false},
    {"one byte over",         16384, 16385,  20480,  16385, true},
    {"crossing chunk whole",  16384, 20000,  20480,  16640, true},
    {"no limit",              0,     20000,  20480,  20000, false},
    {"empty file",            16384, 0,      20480,  0,     false},
    {"cut at the room",       0,     2000,   1000,   1000,  false},
    {"cut inside a chunk",    0,     2000,   1100,   1100,  false},
    {"cut past the limit",    16384, 20000,  16500,  16500, true},
    {"limit at the room",     1000,  2000,   1000,   1000,  true},
    {"file fills the room",   1000,  1000,   1000,   1000,  false},
};
// clang-format on

TEST_F(BinaryFileTest, ReadersStopAtTheLimitAndNeverPassTheirRoom) {
  for (const LimitCase& c : kLimitCases) {
    SCOPED_TRACE(c.name);
    const std::string path = MakeFile("image.bin", c.fileBytes);
    const std::vector<uint8_t> file = Pattern(c.fileBytes);
    // The destination lies inside a larger block, so a write past its room shows.
    std::vector<uint8_t> block(c.destinationBytes + 512, kUntouched);

    for (bool withSum : {false, true}) {
      SCOPED_TRACE(withSum ? "ReadBinFileSum" : "ReadBinFile");
      std::fill(block.begin(), block.end(), kUntouched);
      boxes_.Clear();
      uint32_t count = c.limit;
      uint32_t sum = 1000;  // not cleared by the reader
      if (withSum)
        ReadBinFileSum(path, block.data(), c.destinationBytes, count, sum);
      else
        ReadBinFile(path, block.data(), c.destinationBytes, count);

      EXPECT_EQ(count, c.count);
      EXPECT_TRUE(std::equal(block.begin(), block.begin() + count, file.begin()));
      EXPECT_TRUE(std::all_of(block.begin() + count, block.end(), [](uint8_t b) { return b == kUntouched; }));
      if (withSum) {
        EXPECT_EQ(sum, std::accumulate(file.begin(), file.begin() + count, 1000u));
      }
      if (c.message)
        EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{kBeyondChipText});
      else
        EXPECT_TRUE(boxes_.Shown().empty());
    }
  }
}

TEST_F(BinaryFileTest, LimitMessageIsAPlainOkBox) {
  const std::string path = MakeFile("big.bin", 300);
  std::vector<uint8_t> room(600);
  uint32_t count = 100;
  ReadBinFile(path, room.data(), room.size(), count);
  ASSERT_EQ(boxes_.Shown().size(), 1u);
  EXPECT_EQ(boxes_.Shown()[0].buttons, unsigned{mbOK});
  EXPECT_EQ(count, 256u);
}

// Reading `path` takes nothing: count 0, sum and room untouched, no message.
void ExpectReadsAsEmpty(const std::string& path, const ScriptedMessageBoxes& boxes) {
  std::vector<uint8_t> room(512, kUntouched);
  uint32_t count = 8;
  uint32_t sum = 77;
  ReadBinFileSum(path, room.data(), room.size(), count, sum);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(sum, 77u);
  EXPECT_TRUE(boxes.Shown().empty());
  EXPECT_TRUE(std::all_of(room.begin(), room.end(), [](uint8_t b) { return b == kUntouched; }));
}

TEST_F(BinaryFileTest, FileThatCannotBeReadReadsAsEmpty) {
  for (const std::string& path : {PathOf("missing.bin"), folder_.Path().string()}) {
    SCOPED_TRACE(path);
    ExpectReadsAsEmpty(path, boxes_);
  }
}

// The load of a data file reads as ReadBinFileSum does, but a file it cannot
// have, or whose read fails, raises the file error with the path and the
// system's reason.
TEST_F(BinaryFileTest, LoadRaisesWhatTheOtherReadersTakeAsEmpty) {
  const std::string good = MakeFile("good.bin", 600);
  std::vector<uint8_t> room(1024, kUntouched);
  uint32_t count = 512;
  uint32_t sum = 5;
  LoadBinFileSum(good, room.data(), room.size(), count, sum);
  const std::vector<uint8_t> file = Pattern(600);
  // The last chunk crosses the limit and is kept whole.
  EXPECT_EQ(count, 600u);
  EXPECT_EQ(sum, std::accumulate(file.begin(), file.end(), 5u));
  EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{kBeyondChipText});

  const std::string held = MakeFile("held.bin", 300);
  const int other = ::open(held.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(other, 0);
  ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
  struct Case {
    std::string path;
    int code;  // 0: the text "not a regular file"
  };
  std::vector<Case> cases = {{PathOf("missing.bin"), ENOENT}, {folder_.Path().string(), 0}, {held, EWOULDBLOCK}};
  // A sysfs value that the device does not have fails its first read.
  const std::string sysfs = "/sys/class/net/lo/speed";
  if (const int fd = ::open(sysfs.c_str(), O_RDONLY | O_CLOEXEC); fd >= 0) {
    char byte;
    if (::read(fd, &byte, 1) < 0 && errno == EINVAL) cases.push_back({sysfs, EINVAL});
    ::close(fd);
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    count = 0;
    sum = 77;
    try {
      LoadBinFileSum(c.path, room.data(), room.size(), count, sum);
      ADD_FAILURE() << "no file error";
    } catch (const EInOutError& e) {
      EXPECT_NE(std::string(e.what()).find(c.path), std::string::npos) << e.what();
      if (c.code != 0)
        EXPECT_EQ(e.ErrorCode(), c.code) << e.what();
      else
        EXPECT_NE(std::string(e.what()).find("not a regular file"), std::string::npos) << e.what();
    }
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(sum, 77u);
  }
  ::close(other);
}

TEST_F(BinaryFileTest, FileLockedByAnotherOpenerReadsAsEmptyUntilReleased) {
  const std::string path = MakeFile("held.bin", 300);
  const int other = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(other, 0);
  ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
  ExpectReadsAsEmpty(path, boxes_);

  ::close(other);
  std::vector<uint8_t> room(512);
  uint32_t count = 0;
  ReadBinFile(path, room.data(), room.size(), count);
  EXPECT_EQ(count, 300u);
}

TEST_F(BinaryFileTest, WritesExactlyTheRangeAndReadsItBack) {
  const std::vector<uint8_t> buffer = Pattern(0x5000);
  struct Case {
    uint32_t first, last;
    size_t fileBytes;
  };
  // clang-format off
  const Case cases[] = {
      {0,      0x3FFF, 0x4000},  // the flash range of a 16 KB chip
      {0x10,   0x10,   1},
      {0x20,   0x1F,   0},       // last below first: an empty file
      {0x4F00, 0x6000, 0x100},   // reaching past the buffer: written to its end
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.first);
    const std::string path = PathOf("out.bin");
    WriteBinFile(path, buffer.data(), buffer.size(), c.first, c.last);
    const std::vector<uint8_t> written = FileBytes(path);
    ASSERT_EQ(written.size(), c.fileBytes);
    EXPECT_TRUE(std::equal(written.begin(), written.end(), buffer.begin() + c.first));

    std::vector<uint8_t> back(0x5000);
    uint32_t count = 0;
    ReadBinFile(path, back.data(), back.size(), count);
    EXPECT_EQ(count, c.fileBytes);
    EXPECT_TRUE(std::equal(back.begin(), back.begin() + count, written.begin()));
  }
}

TEST_F(BinaryFileTest, WriteGoldenBytes) {
  const uint8_t buffer[] = {0x00, 0xC0, 0xDB, 0xFF, 0x0A, 0x0D, 0x1A, 0x55};
  const std::string path = PathOf("golden.bin");
  WriteBinFile(path, buffer, sizeof buffer, 1, 6);
  EXPECT_EQ(FileBytes(path), (std::vector<uint8_t>{0xC0, 0xDB, 0xFF, 0x0A, 0x0D, 0x1A}));
}

TEST_F(BinaryFileTest, WriteReplacesAnExistingFile) {
  const std::string path = MakeFile("old.bin", 1000);
  const uint8_t buffer[] = {1, 2, 3};
  WriteBinFile(path, buffer, sizeof buffer, 0, 2);
  EXPECT_EQ(FileBytes(path), (std::vector<uint8_t>{1, 2, 3}));
}

TEST_F(BinaryFileTest, WriteThatCannotCreateRaisesTheIoErrorWithPathAndReason) {
  const std::string path = PathOf("no-such-folder/out.bin");
  const uint8_t buffer[] = {1};
  try {
    WriteBinFile(path, buffer, sizeof buffer, 0, 0);
    FAIL() << "no error raised";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Message(), path + ": " + std::strerror(ENOENT));
    EXPECT_EQ(e.ErrorCode(), ENOENT);
  }
}

// A device is no file to save into: refused before it is opened, so neither
// /dev/full's refusal of every byte nor a terminal that would hold the write
// is ever met.
TEST_F(BinaryFileTest, WriteOntoADeviceIsRefusedAndTheDeviceKept) {
  if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full here";
  const std::vector<uint8_t> buffer = Pattern(0x400);
  try {
    WriteBinFile("/dev/full", buffer.data(), buffer.size(), 0, 0x3FF);
    FAIL() << "no error raised";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Message(), std::string("/dev/full: ") + kNotRegularFileText);
  }
  struct stat st {};
  ASSERT_EQ(::stat("/dev/full", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
}

TEST(FillBytes, SetsExactlyCountBytes) {
  std::vector<uint8_t> buffer(10, 0x11);
  FillBytes(buffer.data(), 9, 0xFF);
  EXPECT_EQ(std::count(buffer.begin(), buffer.end(), 0xFF), 9);
  EXPECT_EQ(buffer[9], 0x11);
}

}  // namespace
