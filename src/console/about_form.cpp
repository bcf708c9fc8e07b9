#include "console/about_form.h"

#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>

namespace {

constexpr int kPictureSide = 96;  // pixels
constexpr int kPinsPerSide = 6;

// A chip in a square package, pins on all four sides.
QPixmap ChipPicture() {
  QPixmap picture(kPictureSide, kPictureSide);
  picture.fill(Qt::transparent);
  QPainter p(&picture);
  p.setRenderHint(QPainter::Antialiasing);
  const QRect body(18, 18, 60, 60);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xB0, 0xB0, 0xB8));
  for (int i = 0; i < kPinsPerSide; ++i) {
    int at = body.left() + 5 + i * 9;
    p.drawRect(at, 6, 5, 12);
    p.drawRect(at, body.bottom() + 1, 5, 12);
    p.drawRect(6, at, 12, 5);
    p.drawRect(body.right() + 1, at, 12, 5);
  }
  p.setBrush(QColor(0x20, 0x28, 0x38));
  p.drawRoundedRect(body, 4, 4);
  p.setBrush(QColor(0x50, 0x58, 0x68));
  p.drawEllipse(body.left() + 6, body.top() + 6, 7, 7);
  p.setPen(QColor(0xF0, 0xF0, 0xF0));
  QFont font = p.font();
  font.setPixelSize(14);
  font.setBold(true);
  p.setFont(font);
  p.drawText(body, Qt::AlignCenter, "FU68");
  return picture;
}

}  // namespace

TAboutForm::TAboutForm(QWidget* parent) : QDialog(parent) {
  setObjectName("AboutForm");
  setWindowTitle("About");
  setFixedSize(400, 180);
  Image1 = new QLabel(this);
  Image1->setObjectName("Image1");
  Image1->setGeometry(16, 20, kPictureSide, kPictureSide);
  Image1->setPixmap(ChipPicture());
  Label1 = new QLabel(this);
  Label1->setObjectName("Label1");
  Label1->setGeometry(128, 24, 260, 20);
  Label2 = new QLabel("Version V1.7", this);
  Label2->setObjectName("Label2");
  Label2->setGeometry(128, 52, 260, 20);
  Label3 = new QLabel(this);
  Label3->setObjectName("Label3");
  Label3->setGeometry(128, 80, 260, 36);
  Label3->setWordWrap(true);
  OKButton = new QPushButton("OK", this);
  OKButton->setObjectName("OKButton");
  OKButton->setGeometry(160, 136, 80, 28);
  OKButton->setDefault(true);
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}
