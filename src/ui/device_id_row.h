#pragma once

// The device-number lists as the device-settings feature sees them: the top bar's list
// (which only the user's own pick turns into DeviceId) and the "Change Device ID:" list
// with its "Change" button.

#include <QObject>

#include "access/device_settings.h"

class QComboBox;

namespace veltrane {

class BottomControls;

class DeviceIdRow : public QObject, public DeviceNumberView {
  Q_OBJECT

 public:
  DeviceIdRow(BottomControls& controls, QComboBox& device_list);
  void Attach(DeviceSettings& settings);

  void SelectDeviceNumber(int position) override;
  void SelectChangeEntry(int position) override;
  int ChangeListPosition() const override;

 private:
  BottomControls& controls_;
  QComboBox& device_list_;
  QComboBox* change_list_;
};

}  // namespace veltrane
