#pragma once

// The preset, file, backup and device-number controls under the channel strips. They
// are laid out and named here; the storage and device-settings features find them by
// objectName and connect their own actions.

#include <QWidget>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace veltrane {

class BottomControls : public QWidget {
  Q_OBJECT

 public:
  explicit BottomControls(QWidget* parent = nullptr);

  QComboBox* PresetSlotList() const { return preset_slots_; }  // RzComboBox84
  QLineEdit* PresetNameEdit() const { return preset_name_; }   // edt1
  QComboBox* PresetList() const { return preset_list_; }       // RzComboBox85
  QComboBox* ChangeIdList() const { return change_id_list_; }  // cbb4

 private:
  QComboBox* preset_slots_ = nullptr;
  QLineEdit* preset_name_ = nullptr;
  QComboBox* preset_list_ = nullptr;
  QComboBox* change_id_list_ = nullptr;
};

}  // namespace veltrane
