#include "ui/preset_rows.h"

#include <QComboBox>
#include <QEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QValidator>

#include "ui/bottom_controls.h"

namespace veltrane {
namespace {

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Refuses what the processor could not store: a character outside Windows-1252, a
// control character, or more than 19 of them.
class PresetNameValidator : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int& /*pos*/) const override {
    return IsStorablePresetName(input.toStdString()) ? Acceptable : Invalid;
  }
};

// A click into the name box selects its whole text.
class SelectAllOnClick : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::MouseButtonPress) {
      auto* edit = static_cast<QLineEdit*>(watched);
      // After the press has placed the cursor, or the selection would be undone.
      QTimer::singleShot(0, edit, &QLineEdit::selectAll);
    }
    return false;
  }
};

}  // namespace

PresetRows::PresetRows(BottomControls& controls)
    : controls_(controls),
      slots_(controls.PresetSlotList()),
      name_(controls.PresetNameEdit()),
      list_(controls.PresetList()) {
  name_->setValidator(new PresetNameValidator(name_));
  name_->installEventFilter(new SelectAllOnClick(name_));
}

void PresetRows::Attach(DevicePresets& presets) {
  const BottomControls& controls = controls_;
  connect(slots_, &QComboBox::currentIndexChanged, this,
          [&presets](int index) { presets.SlotSelectorChanged(index); });
  connect(controls.findChild<QPushButton*>(QStringLiteral("StorePresetButton")),
          &QPushButton::clicked, this, [&presets] { presets.StorePreset(); });
  connect(controls.findChild<QPushButton*>(QStringLiteral("LoadPresetButton")),
          &QPushButton::clicked, this, [&presets] { presets.LoadPreset(); });
}

void PresetRows::ShowPresetList(const std::array<std::string, kPresetCount>& entries,
                                int selected) {
  list_->clear();
  for (const std::string& entry : entries) list_->addItem(FromUtf8(entry));
  list_->setCurrentIndex(selected);
}

void PresetRows::SelectPreset(int position) { list_->setCurrentIndex(position); }

int PresetRows::PresetListPosition() const { return list_->currentIndex(); }

int PresetRows::SlotSelectorPosition() const { return slots_->currentIndex(); }

std::string PresetRows::NameBoxText() const { return name_->text().toStdString(); }

void PresetRows::SetNameBoxText(std::string_view text) { name_->setText(FromUtf8(text)); }

}  // namespace veltrane
