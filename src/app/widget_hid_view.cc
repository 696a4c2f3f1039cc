#include "app/widget_hid_view.h"

#include "link/hid_history.h"

namespace veltrane {

WidgetHidView::WidgetHidView(QListWidget* history, QListWidget* devices, QLabel* status,
                             std::function<void(bool)> set_port_lists_enabled)
    : history_(history),
      devices_(devices),
      status_(status),
      set_port_lists_enabled_(std::move(set_port_lists_enabled)) {}

void WidgetHidView::AddHistoryLine(const std::string& line) {
  if (!history_) return;
  history_->addItem(QString::fromStdString(line));
  while (static_cast<std::size_t>(history_->count()) > kHistoryLimit) delete history_->takeItem(0);
  history_->setCurrentRow(history_->count() - 1);
}

void WidgetHidView::SetDeviceList(const std::vector<std::string>& names) {
  if (!devices_) return;
  devices_->clear();
  for (const std::string& name : names) devices_->addItem(QString::fromStdString(name));
}

void WidgetHidView::SetStatusText(const std::string& text) {
  if (status_) status_->setText(QString::fromStdString(text));
}

void WidgetHidView::SetPortListsEnabled(bool enabled) {
  if (set_port_lists_enabled_) set_port_lists_enabled_(enabled);
}

}  // namespace veltrane
