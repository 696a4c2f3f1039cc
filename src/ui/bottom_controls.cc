#include "ui/bottom_controls.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/drop_down_list.h"

namespace veltrane {
namespace {

QPushButton* AddButton(const QString& caption, const char* name, const QRect& geometry,
                       QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QLatin1String(name));
  button->setGeometry(geometry);
  return button;
}

QLabel* AddLabel(const QString& text, int x, int y, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->move(x, y);
  return label;
}

void AddLine(const QRect& geometry, QFrame::Shape shape, QWidget* parent) {
  auto* line = new QFrame(parent);
  line->setFrameShape(shape);
  line->setFrameShadow(QFrame::Sunken);
  line->setGeometry(geometry);
}

}  // namespace

BottomControls::BottomControls(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("BottomControls"));

  // Presets: the "Save" row stores under a name, the "Load" row recalls a slot.
  AddLabel(QStringLiteral("Save"), 16, 12, this);
  preset_slots_ = new DropDownList(this);
  preset_slots_->setObjectName(QStringLiteral("RzComboBox84"));
  preset_slots_->setGeometry(64, 8, 76, 24);
  for (int slot = 1; slot <= 20; ++slot) {
    preset_slots_->addItem(QStringLiteral("Pre%1:").arg(slot));
  }
  preset_name_ = new QLineEdit(this);
  preset_name_->setObjectName(QStringLiteral("edt1"));
  preset_name_->setGeometry(148, 8, 170, 24);
  preset_name_->setMaxLength(19);
  AddButton(QStringLiteral("Store Preset"), "StorePresetButton", QRect(328, 7, 110, 26), this);

  AddLabel(QStringLiteral("Load"), 16, 52, this);
  preset_list_ = new DropDownList(this);
  preset_list_->setObjectName(QStringLiteral("RzComboBox85"));
  preset_list_->setGeometry(64, 48, 254, 24);
  AddButton(QStringLiteral("Load Preset"), "LoadPresetButton", QRect(328, 47, 110, 26), this);

  AddLine(QRect(456, 4, 3, 72), QFrame::VLine, this);

  // Files on the PC: one preset image, or the 20-group backup.
  AddLabel(QStringLiteral("Save/Load File to PC"), 474, 12, this);
  AddButton(QStringLiteral("Load File"), "LoadFileButton", QRect(474, 47, 90, 26), this);
  AddButton(QStringLiteral("Store File"), "StoreFileButton", QRect(574, 47, 90, 26), this);
  AddButton(QStringLiteral("save 20-group to PC"), "Save20GroupButton", QRect(690, 7, 160, 26),
            this);
  AddButton(QStringLiteral("load 20-group to DV"), "Load20GroupButton", QRect(690, 47, 160, 26),
            this);

  AddLine(QRect(8, 80, 953, 3), QFrame::HLine, this);

  // Device number: "01".."250" give numbers 1..250; the empty last entry gives 251.
  AddLabel(QStringLiteral("System"), 16, 96, this);
  AddLabel(QStringLiteral("Change Device ID:"), 82, 96, this);
  change_id_list_ = new DropDownList(this);
  change_id_list_->setObjectName(QStringLiteral("cbb4"));
  change_id_list_->setGeometry(212, 92, 70, 24);
  for (int number = 1; number <= 250; ++number) {
    change_id_list_->addItem(QStringLiteral("%1").arg(number, 2, 10, QLatin1Char('0')));
  }
  change_id_list_->addItem(QString());
  change_id_list_->setCurrentIndex(0);
  AddButton(QStringLiteral("Change"), "ChangeButton", QRect(292, 91, 80, 26), this);
}

}  // namespace veltrane
