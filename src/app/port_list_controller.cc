#include "app/port_list_controller.h"

#include <QSignalBlocker>

namespace veltrane {

PortListController::PortListController(QComboBox* combo, TimerHost& timers,
                                       PortList::Enumerator enumerate, ConnectedFn connected,
                                       SelectFn select)
    : combo_(combo),
      list_(std::move(enumerate)),
      connected_(std::move(connected)),
      select_(std::move(select)) {
  connect(combo_, &QComboBox::activated, this, &PortListController::OnActivated);
  list_.Refresh();
  Fill();
  refurbish_ = timers.CreateTimer("refurbish", kRefurbishIntervalMs, [this] { Refresh(); });
  refurbish_->Start();
}

void PortListController::Refresh() {
  if (connected_()) return;
  if (list_.Refresh()) Fill();
}

bool PortListController::Choose(const std::string& name) {
  if (!list_.Select(name)) return false;
  Fill();
  return true;
}

void PortListController::Fill() {
  if (!combo_) return;
  {
    const QSignalBlocker block(combo_);
    combo_->clear();
    for (const std::string& name : list_.Names()) combo_->addItem(QString::fromStdString(name));
    combo_->setCurrentIndex(list_.Selected());
  }
  // An empty list keeps the engine's previous choice.
  if (list_.Selected() >= 0) OnActivated(list_.Selected());
}

void PortListController::OnActivated(int index) {
  if (index < 0 || index >= static_cast<int>(list_.Names().size())) return;
  list_.SetSelected(index);
  select_(list_.Names()[index], list_.Numbers()[index]);
}

}  // namespace veltrane
