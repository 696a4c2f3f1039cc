#include "ui/device_id_row.h"

#include <QComboBox>
#include <QPushButton>

#include "ui/bottom_controls.h"

namespace veltrane {

DeviceIdRow::DeviceIdRow(BottomControls& controls, QComboBox& device_list)
    : controls_(controls), device_list_(device_list), change_list_(controls.ChangeIdList()) {}

void DeviceIdRow::Attach(DeviceSettings& settings) {
  connect(controls_.findChild<QPushButton*>(QStringLiteral("ChangeButton")), &QPushButton::clicked,
          this, [&settings] { settings.ChangeDeviceId(); });
}

// setCurrentIndex does not emit `activated`, which is what turns a pick into DeviceId.
void DeviceIdRow::SelectDeviceNumber(int position) { device_list_.setCurrentIndex(position); }

void DeviceIdRow::SelectChangeEntry(int position) { change_list_->setCurrentIndex(position); }

int DeviceIdRow::ChangeListPosition() const { return change_list_->currentIndex(); }

}  // namespace veltrane
