// A job opened from a project stays loaded when the chip dialog is cancelled
// or confirmed on the same chip: the project's zero-padded chip name shows as
// the name alone, so the chip button sees no new chip. End to end, the job
// then programs and verifies on eight simulated units.
#include <QAction>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>

#include "console/hex_grid_model.h"
#include "support/eight_channels.h"

namespace {

constexpr const char* kChip = "FU6813N";
constexpr int kFlashRows = kImageBytes / 16;

class ChipDialogKeepsJobTest : public EightChannelTest {
 protected:
  // A project of the pattern image saved through the window, then opened
  // after another chip was chosen, as an operator starts a shift.
  void OpenSavedJob() {
    ShowAndSearch();
    ChooseChip(kChip);
    LoadFile("job.bin", image);
    const std::string job = folder + "job.ptv";
    files.Choose(job);
    window->SavetoProjectFile1->trigger();
    ChooseChip("FU6811N");
    ASSERT_EQ(g.DataLoaded, 0);
    files.Choose(job);
    window->SpdBtnLdPrj->click();
    ASSERT_EQ(g.DataLoaded, 1);
    // The name as the project stores it, in a zero-padded field.
    ASSERT_EQ(g.ChipName.substr(0, g.ChipName.find('\0')), kChip);
    ASSERT_NE(g.ChipName.find('\0'), std::string::npos);
  }

  // The chip dialog opened by the chip button and closed by `close`.
  void UseChipDialog(const std::function<void(TChipSelectForm&)>& close) {
    ModalHook previous = SetModalHook([&](QDialog& dialog) {
      dialog.show();
      auto* chips = dynamic_cast<TChipSelectForm*>(&dialog);
      EXPECT_NE(chips, nullptr);
      if (chips != nullptr) close(*chips);
      return dialog.result();
    });
    window->DevButton->click();
    SetModalHook(std::move(previous));
  }

  // The job as loaded: chip shown, data loaded, the flash view full, and no
  // chip line logged since `logFrom`; nothing shown or logged holds a zero.
  void ExpectJobKept(size_t logFrom) {
    EXPECT_EQ(g.DataLoaded, 1);
    EXPECT_EQ(window->MCUNameEdit->text().toStdString(), kChip);
    EXPECT_EQ(window->HexViewerCells->rowCount(), kFlashRows);
    const std::vector<std::string> lines = window->InfoMemo().Lines();
    for (size_t i = logFrom; i < lines.size(); ++i)
      EXPECT_EQ(lines[i].find("has been selected!"), std::string::npos) << lines[i];
    for (const std::string& line : lines) EXPECT_EQ(line.find('\0'), std::string::npos) << line;
    for (int panel = 0; panel < 3; ++panel)
      EXPECT_EQ(window->StatusPanelText(panel).find('\0'), std::string::npos) << panel;
    EXPECT_EQ(window->StatusPanelText(2), "job.bin");
  }
};

TEST_F(ChipDialogKeepsJobTest, CancelAndTheSameChipKeepTheJobThatThenProgramsAndVerifies) {
  OpenSavedJob();
  const size_t logFrom = window->InfoMemo().Count();
  const uint16_t crc = g.ImageCrc16;

  UseChipDialog([](TChipSelectForm& chips) { chips.BitBtnCancel->click(); });
  ExpectJobKept(logFrom);

  UseChipDialog([](TChipSelectForm& chips) {
    chips.ListBoxSeries->setCurrentRow(0);
    emit chips.ListBoxSeries->itemClicked(chips.ListBoxSeries->item(0));
    const auto found = chips.ListBoxChips->findItems(kChip, Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1);
    chips.ListBoxChips->setCurrentItem(found[0]);
    emit chips.ListBoxChips->itemClicked(found[0]);
    chips.BitBtnOK->click();
  });
  ExpectJobKept(logFrom);
  EXPECT_EQ(g.ChipName, kChip);

  boxes.Clear();
  window->AutoSpdBtn->click();
  ASSERT_TRUE(WaitFor([&] { return AllIdle(); }));
  EXPECT_TRUE(boxes.Texts().empty());
  EXPECT_EQ(g.ImageCrc16, crc);
  for (size_t ch = 0; ch < kUnits; ++ch) {
    SCOPED_TRACE(testing::Message() << "channel " << ch);
    EXPECT_EQ(farm->Unit(ch).ReadFlash(0, kImageBytes), image);
    EXPECT_TRUE(ChannelLogged(ch, Format("Verify Success : Chip CRC16 is 0x%0.4x.", {crc})));
    EXPECT_TRUE(ChannelLogged(ch, "自动编程操作成功！"));
    EXPECT_EQ(Gauge(ch).ForeColor(), clBlue);
  }
}

}  // namespace
