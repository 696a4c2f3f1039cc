#include "ui/processor_picture.h"

#include <QFont>
#include <QPainter>

namespace veltrane {

ProcessorPicture::ProcessorPicture(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("ProcessorPicture"));
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ProcessorPicture::paintEvent(QPaintEvent* /*event*/) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF body = QRectF(rect()).adjusted(4, 4, -4, -4);

  // A dark chassis with a brushed front plate.
  p.setPen(QPen(QColor(20, 20, 20), 1.5));
  QLinearGradient plate(body.topLeft(), body.bottomLeft());
  plate.setColorAt(0, QColor(70, 74, 80));
  plate.setColorAt(1, QColor(36, 38, 42));
  p.setBrush(plate);
  p.drawRoundedRect(body, 6, 6);

  // Input connectors on the left edge, outputs on the right, as the strips run.
  p.setBrush(QColor(160, 160, 150));
  for (int i = 0; i < 2; ++i) {
    p.drawEllipse(QPointF(body.left() + 9, body.top() + 22 + i * 34), 5, 5);
  }
  for (int i = 0; i < 4; ++i) {
    p.drawEllipse(QPointF(body.right() - 9, body.top() + 18 + i * 28), 5, 5);
  }

  // The DSP chip in the middle.
  const QRectF chip(body.center().x() - 18, body.top() + 34, 36, 36);
  p.setBrush(QColor(15, 15, 15));
  p.setPen(QPen(QColor(190, 190, 190), 1));
  for (int i = 0; i < 5; ++i) {
    const double offset = 5 + i * 6.5;
    p.drawLine(QPointF(chip.left() + offset, chip.top() - 4),
               QPointF(chip.left() + offset, chip.top()));
    p.drawLine(QPointF(chip.left() + offset, chip.bottom()),
               QPointF(chip.left() + offset, chip.bottom() + 4));
  }
  p.drawRect(chip);
  p.setPen(QColor(46, 121, 255));
  QFont small(QStringLiteral("Arial"));
  small.setPixelSize(9);
  small.setBold(true);
  p.setFont(small);
  p.drawText(chip, Qt::AlignCenter, QStringLiteral("DSP"));

  // Signal LEDs under the chip, one per visible output.
  const QColor leds[] = {QColor(46, 121, 255), QColor(0, 255, 255), QColor(255, 0, 255)};
  p.setPen(Qt::NoPen);
  for (int i = 0; i < 3; ++i) {
    p.setBrush(leds[i]);
    p.drawEllipse(QPointF(body.center().x() - 14 + i * 14, chip.bottom() + 18), 3, 3);
  }

  // The maker's name across the bottom of the plate.
  p.setPen(QColor(230, 230, 230));
  small.setPixelSize(10);
  p.setFont(small);
  p.drawText(QRectF(body.left(), body.bottom() - 24, body.width(), 18), Qt::AlignCenter,
             QStringLiteral("VELTRANE"));
}

}  // namespace veltrane
