#pragma once
// Gives a form's component its name and geometry, as a form file would.

#include <QString>
#include <QWidget>

template <typename Widget>
Widget* Place(Widget* widget, const char* name, int x, int y, int width, int height) {
  widget->setObjectName(QString::fromUtf8(name));
  widget->setGeometry(x, y, width, height);
  return widget;
}
