// Cross-checks of the Intel HEX and S-record formats against independent
// tools: our readers read what objcopy writes, and srec_cat reads what our
// writers write, each into exactly the source bytes. The tools are test
// dependencies that the set-up script installs; a missing tool fails.

#include <gtest/gtest.h>

#include <cstdlib>
#include <numeric>
#include <random>
#include <sstream>
#include <tuple>
#include <ostream>
#include <string>
#include <vector>

#include "catalogue/intel_hex.h"
#include "catalogue/srecord.h"
#include "support/image_file_fixture.h"

namespace {

struct Piece {
  uint32_t offset;
  uint32_t length;
};

struct ToolCase {
  const char* name;
  uint32_t base;
  std::vector<Piece> pieces;  // ascending, apart: the gaps stay 0xFF
};
void PrintTo(const ToolCase& c, std::ostream* os) { *os << c.name; }

const ToolCase kToolCases[] = {
    {"InsideOne64KBlock", 0x1000, {{0, 0x800}, {0x1000, 0x2345}, {0x5000, 0x10}}},
    {"AcrossSeveral64KBoundaries", 0x1F3F0, {{0, 0x12001}, {0x20000, 0x25123}}},
    {"AboveSixteenMegabytes", 0x01FF8000, {{0, 0x9000}, {0xA000, 0x30000}}},
};

enum class Format { IntelHex, SRecord };
void PrintTo(Format f, std::ostream* os) { *os << (f == Format::IntelHex ? "Intel HEX" : "S-record"); }

const char* ObjcopyName(Format f) { return f == Format::IntelHex ? "ihex" : "srec"; }
const char* SrecCatName(Format f) { return f == Format::IntelHex ? "-intel" : "-motorola"; }

std::string Hex(uint32_t value) { return "0x" + (std::stringstream() << std::hex << value).str(); }

class RecordToolsTest : public ImageFileTest,
                        public ::testing::WithParamInterface<std::tuple<ToolCase, Format>> {
 protected:
  void SetUp() override {
    ImageFileTest::SetUp();
    const ToolCase& c = std::get<0>(GetParam());
    const Piece& last = c.pieces.back();
    image_.assign(last.offset + last.length, 0xFF);
    std::mt19937 random(c.base);
    for (const Piece& p : c.pieces)
      for (uint32_t i = 0; i < p.length; ++i) image_[p.offset + i] = static_cast<uint8_t>(random());
  }

  static void Run(const std::string& command) {
    ASSERT_EQ(std::system((command + " 2>&1").c_str()), 0) << command
        << "\n(objcopy and srec_cat are test dependencies: run scripts/setup.sh test)";
  }

  // Writes FlashImage, which holds the byte of address a at a - base.
  static void WriteOurs(const std::string& path, Format format, uint32_t base, uint32_t end) {
    if (format == Format::IntelHex)
      WriteHexFile(path, g.FlashImage, kFlashImageBytes, base, base, end);
    else
      WriteSRecFile(path, g.FlashImage, kFlashImageBytes, base, base, end);
  }

  static void LoadOurs(const std::string& path, Format format, uint32_t& low, uint32_t& high, uint32_t& sum) {
    if (format == Format::IntelHex)
      LoadHexFile(path, low, high, sum);
    else
      LoadSRecFile(path, low, high, sum);
  }

  std::vector<uint8_t> image_;
};

TEST_P(RecordToolsTest, OurReaderReadsWhatObjcopyWrites) {
  const auto& [c, format] = GetParam();
  std::string all;
  uint32_t pieceSum = 0;
  for (size_t k = 0; k < c.pieces.size(); ++k) {
    const Piece& p = c.pieces[k];
    const std::string bin = PathOf("piece" + std::to_string(k) + ".bin");
    const std::string out = PathOf("piece" + std::to_string(k) + ".txt");
    WriteFile("piece" + std::to_string(k) + ".bin",
              std::string(image_.begin() + p.offset, image_.begin() + p.offset + p.length));
    ASSERT_NO_FATAL_FAILURE(Run("objcopy -I binary -O " + std::string(ObjcopyName(format)) + " --change-addresses " +
                                Hex(c.base + p.offset) + " '" + bin + "' '" + out + "'"));
    all += ReadFile(out);  // pieces one after the other, each with its own end record
    pieceSum = std::accumulate(image_.begin() + p.offset, image_.begin() + p.offset + p.length, pieceSum);
  }
  const std::string path = WriteFile("all.txt", all);
  SetRanges(c.base, c.base + static_cast<uint32_t>(image_.size()) - 1, kNoEepAddress, kNoEepAddress);
  std::fill(std::begin(g.FlashImage), std::end(g.FlashImage), uint8_t{0xFF});
  uint32_t low = 0, high = 0, sum = 0;
  LoadOurs(path, format, low, high, sum);
  EXPECT_TRUE(boxes_.Shown().empty()) << boxes_.Texts()[0];
  EXPECT_EQ(low, c.base);
  EXPECT_EQ(high, c.base + image_.size() - 1);
  EXPECT_EQ(sum, pieceSum);
  EXPECT_TRUE(std::equal(image_.begin(), image_.end(), g.FlashImage));
  EXPECT_EQ(g.FlashImage[image_.size()], 0xFF);
}

TEST_P(RecordToolsTest, SrecCatReadsWhatOurWriterWrites) {
  const auto& [c, format] = GetParam();
  std::copy(image_.begin(), image_.end(), g.FlashImage);
  const std::string path = PathOf("ours.txt");
  const uint32_t end = c.base + static_cast<uint32_t>(image_.size()) - 1;
  WriteOurs(path, format, c.base, end);
  const std::string bin = PathOf("back.bin");
  ASSERT_NO_FATAL_FAILURE(Run("srec_cat '" + path + "' " + SrecCatName(format) + " -offset -" + Hex(c.base) +
                              " -o '" + bin + "' -binary"));
  const std::string back = ReadFile(bin);
  ASSERT_EQ(back.size(), image_.size());
  EXPECT_TRUE(std::equal(image_.begin(), image_.end(), reinterpret_cast<const uint8_t*>(back.data())));
}

TEST_P(RecordToolsTest, OurReaderReadsWhatOurWriterWrites) {
  const auto& [c, format] = GetParam();
  std::copy(image_.begin(), image_.end(), g.FlashImage);
  const std::string path = PathOf("ours.txt");
  const uint32_t end = c.base + static_cast<uint32_t>(image_.size()) - 1;
  WriteOurs(path, format, c.base, end);
  SetRanges(c.base, end, kNoEepAddress, kNoEepAddress);
  std::fill(std::begin(g.FlashImage), std::end(g.FlashImage), uint8_t{0});
  uint32_t low = 0, high = 0, sum = 0;
  LoadOurs(path, format, low, high, sum);
  EXPECT_TRUE(boxes_.Shown().empty());
  EXPECT_EQ(low, c.base);
  EXPECT_EQ(high, end);
  EXPECT_EQ(sum, std::accumulate(image_.begin(), image_.end(), 0u));
  EXPECT_TRUE(std::equal(image_.begin(), image_.end(), g.FlashImage));
}

// A CR LF file converted once more ends its lines in CR CR LF; objcopy
// reads such a file, and ours must read the same bytes from it, with no box.
TEST_P(RecordToolsTest, CrCrLfLinesLoadAsObjcopyReadsThem) {
  const auto& [c, format] = GetParam();
  std::copy(image_.begin(), image_.end(), g.FlashImage);
  const uint32_t end = c.base + static_cast<uint32_t>(image_.size()) - 1;
  WriteOurs(PathOf("crlf.txt"), format, c.base, end);
  std::string converted;
  for (char ch : ReadFile(PathOf("crlf.txt"))) {
    if (ch == '\n') converted += '\r';
    converted += ch;
  }
  const std::string path = WriteFile("crcrlf.txt", converted);
  const std::string bin = PathOf("objcopy.bin");
  ASSERT_NO_FATAL_FAILURE(Run("objcopy -I " + std::string(ObjcopyName(format)) + " -O binary '" + path + "' '" +
                              bin + "'"));
  const std::string theirs = ReadFile(bin);
  ASSERT_EQ(theirs.size(), image_.size());
  EXPECT_TRUE(std::equal(image_.begin(), image_.end(), reinterpret_cast<const uint8_t*>(theirs.data())));

  SetRanges(c.base, end, kNoEepAddress, kNoEepAddress);
  std::fill(std::begin(g.FlashImage), std::end(g.FlashImage), uint8_t{0});
  uint32_t low = 0, high = 0, sum = 0;
  LoadOurs(path, format, low, high, sum);
  EXPECT_TRUE(boxes_.Shown().empty()) << boxes_.Texts().size() << " boxes, the first: " << boxes_.Texts()[0];
  EXPECT_EQ(low, c.base);
  EXPECT_EQ(high, end);
  EXPECT_TRUE(std::equal(image_.begin(), image_.end(), g.FlashImage));
}

INSTANTIATE_TEST_SUITE_P(Images, RecordToolsTest,
                         ::testing::Combine(::testing::ValuesIn(kToolCases),
                                            ::testing::Values(Format::IntelHex, Format::SRecord)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) == Format::IntelHex ? "_IntelHex" : "_SRecord");
                         });

}  // namespace
