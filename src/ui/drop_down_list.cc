#include "ui/drop_down_list.h"

#include <QWheelEvent>

namespace veltrane {

DropDownList::DropDownList(QWidget* parent) : QComboBox(parent) {
  // A list's own policy (WheelFocus) would let the wheel give it the focus it then acts on.
  setFocusPolicy(Qt::StrongFocus);
}

void DropDownList::wheelEvent(QWheelEvent* event) {
  if (!hasFocus()) {
    event->ignore();
    return;
  }
  QComboBox::wheelEvent(event);
}

}  // namespace veltrane
