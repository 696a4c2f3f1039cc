#include "ui/tab_order.h"

#include <QWidget>
#include <algorithm>

namespace veltrane {
namespace {

constexpr int kRowTolerance = 8;

struct Placed {
  QWidget* widget;
  QPoint centre;
};

}  // namespace

QList<QWidget*> ReadingOrder(QWidget* window) {
  std::vector<Placed> placed;
  for (QWidget* child : window->findChildren<QWidget*>()) {
    // A widget that hands its focus to a proxy (a combo box's line edit) counts once.
    if ((child->focusPolicy() & Qt::TabFocus) == 0 || child->focusProxy() != nullptr) continue;
    if (child->window() != window) continue;  // a dialog of its own has its own order
    placed.push_back({child, child->mapTo(window, child->rect().center())});
  }
  std::stable_sort(placed.begin(), placed.end(),
                   [](const Placed& a, const Placed& b) { return a.centre.y() < b.centre.y(); });
  QList<QWidget*> order;
  for (std::size_t row_start = 0; row_start < placed.size();) {
    std::size_t row_end = row_start + 1;
    while (row_end < placed.size() &&
           placed[row_end].centre.y() - placed[row_start].centre.y() <= kRowTolerance) {
      ++row_end;
    }
    std::stable_sort(placed.begin() + static_cast<std::ptrdiff_t>(row_start),
                     placed.begin() + static_cast<std::ptrdiff_t>(row_end),
                     [](const Placed& a, const Placed& b) { return a.centre.x() < b.centre.x(); });
    for (std::size_t i = row_start; i < row_end; ++i) order << placed[i].widget;
    row_start = row_end;
  }
  return order;
}

void ApplyReadingTabOrder(QWidget* window) {
  const QList<QWidget*> order = ReadingOrder(window);
  for (qsizetype i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

}  // namespace veltrane
