#include "catalogue/qt/chip_select_form.h"

#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QApplication>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <functional>

#include "catalogue/chip_catalogue.h"
#include "catalogue/support/chip_expectations.h"
#include "shared/state.h"
#include "toolkit/qt/qt_bindings.h"

namespace {

// The chip button's road: a fresh form, shown through ShowModal. The hook
// stands in for the user: the show runs the form's show handler, `drive`
// clicks what the user would, and `finish` closes the dialog.
using Drive = std::function<void(TChipSelectForm&)>;

void PressOK(TChipSelectForm& form) { form.BitBtnOK->click(); }
void PressCancel(TChipSelectForm& form) { form.BitBtnCancel->click(); }

int ShowAndDrive(TChipSelectForm& form, const Drive& drive, const Drive& finish = PressOK) {
  ModalHook old = SetModalHook([&](QDialog& dialog) {
    dialog.show();
    auto& chips = static_cast<TChipSelectForm&>(dialog);
    drive(chips);
    finish(chips);
    EXPECT_FALSE(dialog.isVisible());
    return dialog.result();
  });
  int result = ShowModal(form);
  SetModalHook(std::move(old));
  return result;
}

int RunDialog(const Drive& drive, const Drive& finish = PressOK) {
  TChipSelectForm form;
  return ShowAndDrive(form, drive, finish);
}

void ClickChip(TChipSelectForm& form, int row) { form.ListBoxChips->setCurrentRow(row); }

void ClickSeries(TChipSelectForm& form) {
  form.ListBoxSeries->setCurrentRow(0);
  emit form.ListBoxSeries->itemClicked(form.ListBoxSeries->item(0));
}

// A left click with the mouse in the middle of a list row, as the user makes it.
void MouseClickRow(QListWidget& list, int row) {
  const QPointF at = list.visualItemRect(list.item(row)).center();
  const QPointF global = list.viewport()->mapToGlobal(at);
  for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
    QMouseEvent event(type, at, global, Qt::LeftButton, held, Qt::NoModifier);
    QApplication::sendEvent(list.viewport(), &event);
  }
}

class ChipSelectFormTest : public ::testing::Test {
protected:
  void SetUp() override { ApplyStartUpChipValues(); }
};

TEST_F(ChipSelectFormTest, OkAtOnceSelectsTheFirstChip) {
  QString romText;
  int result = RunDialog([&](TChipSelectForm& form) {
    EXPECT_EQ(form.ListBoxSeries->count(), 1);
    EXPECT_EQ(form.ListBoxSeries->item(0)->text(), "Fortior FU68xx");
    EXPECT_EQ(form.ListBoxChips->count(), ChipNameLast + 1);
    EXPECT_EQ(form.ListBoxChips->currentRow(), 0);
    EXPECT_EQ(form.EditSelChip->text(), "FU6811N");
    romText = form.EditROM->text();
  });
  EXPECT_EQ(result, QDialog::Accepted);
  EXPECT_EQ(romText, "16 KB");
  ExpectChipCommitted(kExpectedChips[0]);
  ExpectChipDefaultSettings();
}

TEST_F(ChipSelectFormTest, EveryChipClickedCommitsItsParameters) {
  for (const ExpectedChip& chip : kExpectedChips) {
    SCOPED_TRACE(chip.name);
    FillChipStateWithProjectValues();
    QString shown, romText;
    RunDialog([&](TChipSelectForm& form) {
      ClickChip(form, chip.index);
      shown = form.EditSelChip->text();
      romText = form.EditROM->text();
    });
    EXPECT_EQ(shown, chip.name);
    EXPECT_EQ(romText, QString("%1 KB").arg(chip.romKB));
    ExpectChipCommitted(chip);
  }
}

TEST_F(ChipSelectFormTest, TheEightCharacterNameIsCommittedWhole) {
  QString shown;
  RunDialog([&](TChipSelectForm& form) {
    ClickChip(form, 22);
    shown = form.EditSelChip->text();
  });
  EXPECT_EQ(shown, "FU6866Q1");
  ExpectChipCommitted(kExpectedChips[22]);
  EXPECT_EQ(g.FlashEnd, 0x7FFFu);
  EXPECT_EQ(g.PageSize, 256);
}

// Both families are type 0x04 with 32 KB, so only the model byte tells them
// apart; the later click is the one that counts.
TEST_F(ChipSelectFormTest, SameTypeFamiliesDifferInTheirModel) {
  RunDialog([](TChipSelectForm& form) {
    ClickChip(form, 21);  // FU6865Q
    ClickChip(form, 9);   // FU6815L
  });
  EXPECT_EQ(g.ChipName, "FU6815L");
  EXPECT_EQ(g.ChipType, 0x04);
  EXPECT_EQ(g.RomSizeKB, 32);
  EXPECT_EQ(g.ChipModelA, 1);

  RunDialog([](TChipSelectForm& form) {
    ClickChip(form, 9);
    ClickChip(form, 21);
  });
  EXPECT_EQ(g.ChipName, "FU6865Q");
  EXPECT_EQ(g.ChipType, 0x04);
  EXPECT_EQ(g.RomSizeKB, 32);
  EXPECT_EQ(g.ChipModelA, 5);
}

TEST_F(ChipSelectFormTest, ClickingTheSeriesReturnsToTheFirstChip) {
  QString romAfterChip, romAfterSeries, shownAfterSeries;
  RunDialog([&](TChipSelectForm& form) {
    ClickChip(form, 6);  // FU6813P
    romAfterChip = form.EditROM->text();
    ClickSeries(form);
    romAfterSeries = form.EditROM->text();
    shownAfterSeries = form.EditSelChip->text();
    EXPECT_EQ(form.ListBoxChips->currentRow(), 0);
  });
  EXPECT_EQ(romAfterChip, "32 KB");
  EXPECT_EQ(romAfterSeries, "16 KB");
  EXPECT_EQ(shownAfterSeries, "FU6811N");
  EXPECT_EQ(g.ChipName, "FU6811N");
  EXPECT_EQ(g.RomSizeKB, 16);
  EXPECT_EQ(g.ChipType, 0);
  EXPECT_EQ(g.ChipIndex, 0);
}

TEST_F(ChipSelectFormTest, MouseClicksOnTheListsChooseAndReturnToTheFirstChip) {
  QString romAfterChip, shownAfterSeries;
  RunDialog([&](TChipSelectForm& form) {
    MouseClickRow(*form.ListBoxChips, 6);  // FU6813P
    romAfterChip = form.EditROM->text();
    MouseClickRow(*form.ListBoxSeries, 0);
    shownAfterSeries = form.EditSelChip->text();
    MouseClickRow(*form.ListBoxChips, 9);  // FU6815L
  });
  EXPECT_EQ(romAfterChip, "32 KB");
  EXPECT_EQ(shownAfterSeries, "FU6811N");
  ExpectChipCommitted(kExpectedChips[9]);
}

TEST_F(ChipSelectFormTest, CancelOrCloseAfterClickingChipsChangesNothing) {
  const Drive closers[] = {PressCancel, [](TChipSelectForm& form) { form.close(); }};
  for (const Drive& close : closers) {
    FillChipStateWithProjectValues();
    const ChipStateSnapshot before = TakeChipStateSnapshot();
    int result = RunDialog(
        [](TChipSelectForm& form) {
          ClickChip(form, 6);
          ClickChip(form, 22);
          ClickSeries(form);
          ClickChip(form, 14);
        },
        close);
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_TRUE(TakeChipStateSnapshot() == before);
  }
}

TEST_F(ChipSelectFormTest, OkResetsControlBytesAndInterfaceFlags) {
  FillChipStateWithProjectValues();
  RunDialog([](TChipSelectForm& form) { ClickChip(form, 17); });
  ExpectChipDefaultSettings();
}

TEST_F(ChipSelectFormTest, EveryShowingStartsAfresh) {
  TChipSelectForm form;
  ShowAndDrive(form, [](TChipSelectForm& f) { ClickChip(f, 20); });
  EXPECT_EQ(g.ChipName, "FU6863L");
  QString shown, romText;
  ShowAndDrive(form, [&](TChipSelectForm& f) {
    EXPECT_EQ(f.ListBoxSeries->count(), 1);
    EXPECT_EQ(f.ListBoxChips->count(), ChipNameLast + 1);
    shown = f.EditSelChip->text();
    romText = f.EditROM->text();
  });
  EXPECT_EQ(shown, "FU6811N");
  EXPECT_EQ(romText, "16 KB");
  EXPECT_EQ(g.ChipName, "FU6811N");
  EXPECT_EQ(g.ChipIndex, 0);
}

// The instance the program creates at start is never shown; making it must
// leave the pending selection and the shared state alone.
TEST_F(ChipSelectFormTest, CreatedHiddenWithItsFirstState) {
  QWidget mainWindow;
  const ChipStateSnapshot before = TakeChipStateSnapshot();
  auto* form = new TChipSelectForm(&mainWindow);
  EXPECT_EQ(form->parent(), &mainWindow);
  EXPECT_FALSE(form->isVisible());
  EXPECT_TRUE(TakeChipStateSnapshot() == before);
  EXPECT_EQ(SelChipSeries, 0);

  EXPECT_EQ(form->windowTitle(), "Chip Selection Dialog");
  EXPECT_EQ(form->size(), QSize(552, 421));
  EXPECT_EQ(form->LabelSeries->text(), "Chip Series Select:   ");
  EXPECT_EQ(form->LabelChips->text(), "Chip Type Select:   ");
  EXPECT_EQ(form->LabelSelected->text(), "Chip Selected: ");
  EXPECT_EQ(form->GroupBox1->title(), "Chip Info");
  EXPECT_EQ(form->LabelFSZ->text(), "Flash Size:  ");
  EXPECT_EQ(form->LabelEESZ->text(), "EEP Memory:  ");
  EXPECT_EQ(form->EditROM->text(), "4 KB");
  EXPECT_EQ(form->EditEEP->text(), "512 Bytes");
  EXPECT_TRUE(form->EditSelChip->isReadOnly());
  EXPECT_TRUE(form->EditROM->isReadOnly());
  EXPECT_TRUE(form->EditSelChip->font().bold());
  EXPECT_EQ(form->LabelFSZ->parentWidget(), form->GroupBox1);
  EXPECT_EQ(form->EditROM->parentWidget(), form->GroupBox1);

  // The EEP size stays hidden even once the dialog is shown.
  form->show();
  EXPECT_FALSE(form->LabelEESZ->isVisible());
  EXPECT_FALSE(form->EditEEP->isVisible());
  EXPECT_TRUE(form->EditROM->isVisible());
  EXPECT_EQ(form->EditROM->text(), "16 KB");
  form->reject();
}

}  // namespace
