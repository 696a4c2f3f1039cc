#include "app/port_list_hint.h"

#include <QEvent>

namespace veltrane {

QString NothingFoundTip() {
  return QStringLiteral(
      "No serial port and no processor on USB found.\n"
      "To try the editor without a processor, start it as: veltrane --demo\n"
      "Serial ports need membership of the group dialout: sudo usermod -aG dialout $USER,\n"
      "then log in again.");
}

PortListHint::PortListHint(QComboBox* combo, std::function<bool()> hid_present)
    : combo_(combo), hid_present_(std::move(hid_present)) {
  combo_->installEventFilter(this);
}

bool PortListHint::eventFilter(QObject* watched, QEvent* event) {
  if (watched == combo_ && event->type() == QEvent::ToolTip) {
    const bool nothing = combo_->count() == 0 && !(hid_present_ && hid_present_());
    combo_->setToolTip(nothing ? NothingFoundTip() : QString());
  }
  return false;  // the combo box shows its tooltip itself
}

}  // namespace veltrane
