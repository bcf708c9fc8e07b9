#include "catalogue/qt/chip_select_form.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QStyle>

#include "catalogue/chip_catalogue.h"
#include "toolkit/format.h"

namespace {

template <typename Widget>
Widget* Place(Widget* widget, const char* name, int x, int y, int width, int height) {
  widget->setObjectName(name);
  widget->setGeometry(x, y, width, height);
  return widget;
}

// The chosen chip stands out: blue, bold.
void MarkChosen(QWidget* widget, QPalette::ColorRole role) {
  QFont font = widget->font();
  font.setBold(true);
  widget->setFont(font);
  QPalette palette = widget->palette();
  palette.setColor(role, Qt::blue);
  widget->setPalette(palette);
}

QLineEdit* ReadOnlyEdit(QWidget* parent, const char* text) {
  auto* edit = new QLineEdit(QString::fromUtf8(text), parent);
  edit->setReadOnly(true);
  return edit;
}

}  // namespace

TChipSelectForm::TChipSelectForm(QWidget* parent) : QDialog(parent) {
  setObjectName("ChipSelectForm");
  setWindowTitle("Chip Selection Dialog");
  // A dialog border: fixed size, no resize grip. With a parent, Qt centres the
  // dialog on it when it is shown.
  setFixedSize(552, 421);
  setSizeGripEnabled(false);

  LabelSeries = Place(new QLabel("Chip Series Select:   ", this), "LabelSeries", 16, 12, 180, 18);
  LabelChips = Place(new QLabel("Chip Type Select:   ", this), "LabelChips", 208, 12, 150, 18);
  ListBoxSeries = Place(new QListWidget(this), "ListBoxSeries", 16, 32, 180, 296);
  EditSelChip = Place(ReadOnlyEdit(this, ""), "EditSelChip", 132, 342, 226, 26);
  MarkChosen(EditSelChip, QPalette::Text);
  LabelSelected = Place(new QLabel("Chip Selected: ", this), "LabelSelected", 16, 342, 112, 26);
  MarkChosen(LabelSelected, QPalette::WindowText);
  BitBtnOK = Place(new QPushButton("OK", this), "BitBtnOK", 316, 380, 100, 30);
  BitBtnOK->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
  BitBtnOK->setDefault(true);
  BitBtnCancel = Place(new QPushButton("Cancel", this), "BitBtnCancel", 432, 380, 100, 30);
  BitBtnCancel->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
  ListBoxChips = Place(new QListWidget(this), "ListBoxChips", 208, 32, 150, 296);
  GroupBox1 = Place(new QGroupBox("Chip Info", this), "GroupBox1", 372, 26, 164, 302);
  LabelFSZ = Place(new QLabel("Flash Size:  ", GroupBox1), "LabelFSZ", 12, 28, 140, 18);
  EditROM = Place(ReadOnlyEdit(GroupBox1, "4 KB"), "EditROM", 12, 48, 140, 26);
  LabelEESZ = Place(new QLabel("EEP Memory:  ", GroupBox1), "LabelEESZ", 12, 86, 140, 18);
  EditEEP = Place(ReadOnlyEdit(GroupBox1, "512 Bytes"), "EditEEP", 12, 106, 140, 26);
  // No chip of the list has an EEP area, so its size is never shown.
  LabelEESZ->hide();
  EditEEP->hide();

  connect(ListBoxSeries, &QListWidget::itemClicked, this, &TChipSelectForm::ListBoxSeriesClick);
  // A row change covers both the mouse and the arrow keys; clicking the row
  // already chosen would change nothing.
  connect(ListBoxChips, &QListWidget::currentRowChanged, this, &TChipSelectForm::ListBoxChipsClick);
  // Connections run in the order made: the commit first, then the close.
  connect(BitBtnOK, &QPushButton::clicked, this, &TChipSelectForm::BitBtnOKClick);
  connect(BitBtnOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(BitBtnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TChipSelectForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // A restore from the window system is not a new showing.
  if (!event->spontaneous()) FormShow();
}

void TChipSelectForm::FormShow() {
  SelChipSeries = kFortiorSeries;
  ListBoxSeries->clear();
  ListBoxSeries->addItem(QString::fromUtf8(kFortiorSeriesName.data(), kFortiorSeriesName.size()));
  ListBoxSeries->setCurrentRow(0);
  ListBoxSeriesClick();
}

void TChipSelectForm::ListBoxSeriesClick() {
  if (ListBoxSeries->currentRow() != 0) return;
  FillChipList();
  ListBoxChipsClick();
}

void TChipSelectForm::FillChipList() {
  SelChipSeries = kFortiorSeries;
  SelChipType = 0;
  {
    // Filling the list is not the user choosing a chip; the click steps run
    // once, after it.
    const QSignalBlocker blocker(ListBoxChips);
    ListBoxChips->clear();
    for (std::string_view name : ChipNameList) ListBoxChips->addItem(QString::fromUtf8(name.data(), name.size()));
    ListBoxChips->setCurrentRow(0);
  }
  EditSelChip->setText(ListBoxChips->currentItem()->text());
}

void TChipSelectForm::ListBoxChipsClick() {
  const int row = ListBoxChips->currentRow();
  SelChipIndex = static_cast<uint8_t>(row & 0xFF);
  if (row >= 0) EditSelChip->setText(ListBoxChips->item(row)->text());
  if (ListBoxSeries->currentRow() == 0) SetChipParams(EditSelChip->text());
  EditROM->setText(QString::fromStdString(Format("%d KB", {SelRomKB})));
}

void TChipSelectForm::SetChipParams(const QString& name) { ::SetChipParams(name.toStdString()); }

void TChipSelectForm::BitBtnOKClick() { CommitChipSelection(EditSelChip->text().toStdString()); }
