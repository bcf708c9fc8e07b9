#pragma once
// The chip selection dialog. Each showing starts afresh with the first chip of
// the list pending; clicking a chip makes it pending and shows its flash size;
// OK commits the pending chip into the shared chip parameters (and the chip
// defaults) and closes with the OK result; Cancel or closing the window
// changes nothing. The pending selection is the catalogue's, not the form's.
//
// Create it with a parent (the main window), which owns it; show it through
// ShowModal. GUI thread only.

#include <QDialog>

class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QShowEvent;

class TChipSelectForm : public QDialog {
  Q_OBJECT
public:
  explicit TChipSelectForm(QWidget* parent = nullptr);

  // Components, owned by the form; public so that tests drive them as a user
  // would.
  QLabel* LabelSeries;
  QLabel* LabelChips;
  QListWidget* ListBoxSeries;
  QLineEdit* EditSelChip;
  QLabel* LabelSelected;
  QPushButton* BitBtnOK;
  QPushButton* BitBtnCancel;
  QListWidget* ListBoxChips;
  QGroupBox* GroupBox1;
  QLabel* LabelFSZ;
  QLineEdit* EditROM;
  QLabel* LabelEESZ;
  QLineEdit* EditEEP;

  // Event handlers.
  void FormShow();
  void ListBoxSeriesClick();
  void ListBoxChipsClick();
  void BitBtnOKClick();

protected:
  void showEvent(QShowEvent* event) override;

private:
  void FillChipList();
  void SetChipParams(const QString& name);
};
