#pragma once

// The HID link's hidden parts of the main window: the traffic history, the device list and
// the status label.

#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <functional>
#include <string>
#include <vector>

#include "link/hid_link.h"

namespace veltrane {

class WidgetHidView : public HidLinkView {
 public:
  WidgetHidView(QListWidget* history, QListWidget* devices, QLabel* status,
                std::function<void(bool)> set_port_lists_enabled);

  // Appends and selects the line; the oldest lines go beyond kHistoryLimit.
  void AddHistoryLine(const std::string& line) override;
  void SetDeviceList(const std::vector<std::string>& names) override;
  void SetStatusText(const std::string& text) override;
  void SetPortListsEnabled(bool enabled) override;

 private:
  QPointer<QListWidget> history_;
  QPointer<QListWidget> devices_;
  QPointer<QLabel> status_;
  std::function<void(bool)> set_port_lists_enabled_;
};

}  // namespace veltrane
