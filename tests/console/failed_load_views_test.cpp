// A data file whose read fails part way, loaded through the real window
// offscreen: the hex view and both checksum panels show the image as the
// failed load left it, not the file loaded before.
#include <QTableView>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "support/data_files_fixture.h"
#include "support/special_files.h"
#include "toolkit/format.h"

namespace {

class FailedLoadViewsTest : public DataFilesTest {
protected:
  // The flash view's row as the grid shows it: 16 byte cells.
  std::vector<std::string> ShownRow(int row) const {
    std::vector<std::string> cells;
    for (int column = 1; column <= 16; ++column)
      cells.push_back(window->HexViewer->model()->index(row, column).data().toString().toStdString());
    return cells;
  }
  // The same row as the image holds it.
  static std::vector<std::string> ImageRow(uint32_t address) {
    std::vector<std::string> cells;
    for (uint32_t at = address; at < address + 16; ++at) cells.push_back(Format("%0.2x", {g.FlashImage[at]}));
    return cells;
  }
};

TEST_F(FailedLoadViewsTest, TheViewsAndChecksumPanelsShowTheImageAsItNowIs) {
  const std::string failing = FileWhoseReadFailsWithEinval();
  if (failing.empty()) GTEST_SKIP() << "no file here whose read fails with EINVAL";
  struct Case {
    const char* name;
    const char* fileName;
    void (TOrvantBEMxPrg::*handler)(QObject*);
    bool blanked;  // a fresh load blanks the image first
  } cases[] = {
      {"binary, load", "fails.bin", &TOrvantBEMxPrg::FileOpenBtnClick, true},
      {"Intel HEX, load", "fails.hex", &TOrvantBEMxPrg::FileOpenBtnClick, true},
      {"binary, load more", "fails.bin", &TOrvantBEMxPrg::SpdBtnLoadMoreClick, false},
  };
  ChooseChip32K();
  const std::vector<uint8_t> earlier = Pattern(0x200, 9);
  const std::string earlierPath = WriteFile("earlier.bin", earlier);
  std::filesystem::create_symlink(failing, folder + "fails.bin");
  std::filesystem::create_symlink(failing, folder + "fails.hex");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    files.Choose(earlierPath);
    window->FileOpenBtnClick(nullptr);
    ASSERT_EQ(g.DataLoaded, 1);
    ASSERT_EQ(ShownRow(0), ImageRow(0));
    const std::string chipPanelBefore = window->StatusPanelText(1);

    EXPECT_EQ(FileErrorOfLoad(c.handler, folder + c.fileName), EINVAL);
    EXPECT_EQ(g.DataLoaded, 0);
    EXPECT_EQ(ShownRow(0), ImageRow(0));
    EXPECT_EQ(ShownRow(0)[0], c.blanked ? "00" : Format("%0.2x", {earlier[0]}));
    EXPECT_EQ(window->StatusPanelText(0), "文件校验和：0x00000000");
    EXPECT_EQ(window->StatusPanelText(1), Format("芯片校验和：0x%0.4x", {Crc16(0, 0x7FFF)}));
    if (!c.blanked) {
      EXPECT_EQ(window->StatusPanelText(1), chipPanelBefore);
    }
  }
}

}  // namespace
