#include "console/dialog_parts.h"

#include <QDialog>
#include <QPushButton>

#include "toolkit/qt/place.h"
#include "toolkit/qt/qt_bindings.h"

namespace {
constexpr int kButtonWidth = 100;
constexpr int kButtonHeight = 30;
}  // namespace

QPushButton* AddDialogButton(QDialog* form, const char* name, const char* caption, QStyle::StandardPixmap icon, int x,
                             int y) {
  auto* button = Place(new QPushButton(caption, form), name, x, y, kButtonWidth, kButtonHeight);
  button->setIcon(form->style()->standardIcon(icon));
  button->setDefault(icon == QStyle::SP_DialogOkButton);
  return button;
}

void StoreAndClose(QDialog& form, const std::function<void()>& store) {
  try {
    store();
  } catch (const std::exception& error) {
    form.accept();
    ReportException(error);
    return;
  }
  form.accept();
}
