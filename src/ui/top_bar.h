#pragma once

// The top bar of the main window: status lamp, port and device-number lists, connect
// button, version text, and the channel legend whose boxes choose the graph's curves.

#include <QWidget>
#include <array>

#include "model/channels.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace veltrane {

class ChannelLegend : public QWidget {
  Q_OBJECT

 public:
  explicit ChannelLegend(QWidget* parent = nullptr);

  QCheckBox* CheckBox(int channel) const { return boxes_[channel]; }
  void SetBoxesEnabled(bool enabled);

 signals:
  // A click by the user; programmatic changes are not reported.
  void CurveToggled(int channel, bool checked);

 private:
  std::array<QCheckBox*, kChannelCount> boxes_{};
};

class TopBar : public QWidget {
  Q_OBJECT

 public:
  explicit TopBar(QWidget* parent = nullptr);

  QLabel* Lamp() const { return lamp_; }
  QComboBox* PortList() const { return port_list_; }
  QPushButton* ConnectButton() const { return connect_button_; }
  QComboBox* DeviceIdList() const { return device_id_list_; }
  ChannelLegend* Legend() const { return legend_; }

  void SetLamp(bool connected);

 private:
  QLabel* lamp_ = nullptr;
  QComboBox* port_list_ = nullptr;
  QPushButton* connect_button_ = nullptr;
  QComboBox* device_id_list_ = nullptr;
  ChannelLegend* legend_ = nullptr;
};

}  // namespace veltrane
