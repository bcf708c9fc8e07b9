// Saving an image (HEX, S-record, binary) onto a file that is already there:
// the old image stays whole when the write fails, a link is written through,
// the file keeps its mode, and a device or FIFO is never replaced by a file.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "catalogue/binary_file.h"
#include "catalogue/data_file_io.h"
#include "catalogue/intel_hex.h"
#include "catalogue/srecord.h"
#include "toolkit/errors.h"
#include "toolkit/regular_file.h"
#include "support/temp_folder.h"

namespace {

constexpr uint32_t kImageBytes = 0x8000;  // large enough to pass the write limit below in every format

struct ImageWriter {
  const char* name;
  void (*write)(const std::string& path, const std::vector<uint8_t>& image);
};

void PrintTo(const ImageWriter& writer, std::ostream* out) { *out << writer.name; }

const ImageWriter kWriters[] = {
    {"hex", [](const std::string& path, const std::vector<uint8_t>& image) {
       WriteHexFile(path, image.data(), image.size(), 0, 0, kImageBytes - 1);
     }},
    {"srec", [](const std::string& path, const std::vector<uint8_t>& image) {
       WriteSRecFile(path, image.data(), image.size(), 0, 0, kImageBytes - 1);
     }},
    {"bin", [](const std::string& path, const std::vector<uint8_t>& image) {
       WriteBinFile(path, image.data(), image.size(), 0, kImageBytes - 1);
     }},
};

class ImageSaveTest : public ::testing::TestWithParam<ImageWriter> {
 protected:
  std::string PathOf(const std::string& name) const { return folder_.File(name); }

  std::string Put(const std::string& name, const std::string& text) {
    std::ofstream(PathOf(name), std::ios::binary) << text;
    return PathOf(name);
  }

  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  size_t Entries() const {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(folder_.Path()),
                                             std::filesystem::directory_iterator()));
  }

  void Write(const std::string& name) { GetParam().write(PathOf(name), image_); }

  TempFolder folder_{"orv_img_save_"};
  std::vector<uint8_t> image_ = std::vector<uint8_t>(kImageBytes, 0x5A);
};

TEST_P(ImageSaveTest, WriteThatFailsPartWayLeavesTheEarlierImageWhole) {
  const std::string path = Put("old.img", "the earlier image");
  struct rlimit old;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto previousHandler = ::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 4096;  // a full disk, part way through the image
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  EXPECT_THROW(Write("old.img"), EInOutError);
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::signal(SIGXFSZ, previousHandler);
  EXPECT_EQ(Read(path), "the earlier image");
  EXPECT_EQ(Entries(), 1u) << "a temporary file was left";
}

TEST_P(ImageSaveTest, WriteThroughALinkKeepsTheLinkAndTheTargetsMode) {
  const std::string target = Put("real.img", "the earlier image");
  ASSERT_EQ(::chmod(target.c_str(), 0600), 0);
  std::filesystem::create_symlink("real.img", PathOf("link.img"));
  Write("link.img");
  EXPECT_TRUE(std::filesystem::is_symlink(PathOf("link.img")));
  const std::string written = Read(target);
  EXPECT_NE(written, "the earlier image");
  Write("fresh.img");
  EXPECT_EQ(written, Read(PathOf("fresh.img")));
  struct stat st {};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(Entries(), 3u);
}

INSTANTIATE_TEST_SUITE_P(Writers, ImageSaveTest, ::testing::ValuesIn(kWriters),
                         [](const auto& info) { return std::string(info.param.name); });

// A job or image named onto a FIFO must not rename a plain file over the node:
// as root that would remove a device just as well.
TEST(FileReplacementTest, ANodeThatIsNoRegularFileIsRefusedAndKept) {
  TempFolder folder{"orv_fifo_save_"};
  const std::string fifo = folder.File("job.ptv");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  try {
    FileReplacement replacement(fifo);
    FAIL() << "no error raised";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Message(), fifo + ": " + kNotRegularFileText);
  }
  struct stat st {};
  ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), std::filesystem::directory_iterator()),
            1);
}

}  // namespace
