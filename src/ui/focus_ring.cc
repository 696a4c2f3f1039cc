#include "ui/focus_ring.h"

#include <QApplication>
#include <QFocusEvent>
#include <QPainter>

namespace veltrane {
namespace {

constexpr int kMargin = 3;
constexpr int kPenWidth = 2;
const QColor kRingColor(255, 196, 0);

}  // namespace

FocusRing::FocusRing(QWidget* window) : QWidget(window), window_(window) {
  setObjectName(QStringLiteral("FocusRing"));
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setFocusPolicy(Qt::NoFocus);
  hide();
  qApp->installEventFilter(this);
}

bool FocusRing::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::FocusIn || !watched->isWidgetType()) return false;
  auto* widget = static_cast<QWidget*>(watched);
  if (widget->window() != window_ || widget == window_) return false;
  switch (static_cast<QFocusEvent*>(event)->reason()) {
    case Qt::TabFocusReason:
    case Qt::BacktabFocusReason:
    case Qt::ShortcutFocusReason:
      Surround(widget);
      break;
    case Qt::ActiveWindowFocusReason:
    case Qt::PopupFocusReason:
      // The window or a list's popup gave the focus back: the ring stays where it was.
      if (widget != target_) hide();
      break;
    default:
      hide();  // a click shows where the focus is by itself
      break;
  }
  return false;
}

void FocusRing::Surround(QWidget* target) {
  target_ = target;
  const QRect area(target->mapTo(window_, QPoint(0, 0)), target->size());
  setGeometry(area.adjusted(-kMargin, -kMargin, kMargin, kMargin));
  show();
  raise();
}

void FocusRing::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.setPen(QPen(kRingColor, kPenWidth));
  painter.drawRect(rect().adjusted(1, 1, -1, -1));
}

}  // namespace veltrane
