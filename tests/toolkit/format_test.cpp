#include "toolkit/format.h"

#include <gtest/gtest.h>

namespace {

struct FormatCase {
  const char* format;
  std::initializer_list<FormatArg> args;
  const char* expected;
};

TEST(Format, PlaceholdersPrintAsTheLogsNeedThem) {
  const FormatCase cases[] = {
      {"C%d: ", {3}, "C3: "},
      {"%d", {-42}, "-42"},
      {"%u", {4000000000u}, "4000000000"},
      {"%s!", {"abc"}, "abc!"},
      {"0x%0.4x", {0xAB}, "0x00AB"},
      {"0x%0.2x", {0x1234}, "0x1234"},  // a larger value prints all its digits
      {"%0.8x", {0xDEADBEEFu}, "DEADBEEF"},
      {"  %x", {10}, "  A"},
      {"%x", {-1}, "FFFFFFFF"},
      {"%d KB", {16}, "16 KB"},
      {"100%%", {}, "100%"},
      {"%4d|%-4d|", {7, 7}, "   7|7   |"},
      {"%.2s", {"abcd"}, "ab"},
      {"%d and %d", {1}, "1 and 0"},  // a missing argument prints zero, never reads past
      {"tail %", {}, "tail %"},
      {"%q", {}, "%q"},
  };
  for (const FormatCase& c : cases) EXPECT_EQ(Format(c.format, c.args), c.expected) << c.format;
}

TEST(Format, KeepsUtf8TextIntact) {
  EXPECT_EQ(Format("文件\"%s\"没有找到，请确认！", {"/x/GenXBEM.FWR"}), "文件\"/x/GenXBEM.FWR\"没有找到，请确认！");
}

}  // namespace
