#include "toolkit/qt/edit_text.h"

#include <QLineEdit>

#include "toolkit/zero_ended.h"

void SetEditText(QLineEdit& edit, std::string_view text) {
  const std::string_view shown = ZeroEnded(text);
  // QLineEdit itself emits textChanged only for a different text.
  edit.setText(QString::fromUtf8(shown.data(), static_cast<qsizetype>(shown.size())));
}
