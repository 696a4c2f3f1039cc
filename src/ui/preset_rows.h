#pragma once

// The "Save" and "Load" rows of the bottom panel as the presets feature sees them: the
// slot selector, the name box (only what a preset name can hold), the preset list, and
// the two buttons handed to DevicePresets.

#include <QObject>

#include "storage/device_presets.h"

class QComboBox;
class QLineEdit;

namespace veltrane {

class BottomControls;

class PresetRows : public QObject, public PresetView {
  Q_OBJECT

 public:
  explicit PresetRows(BottomControls& controls);
  // The feature is made after its view; the buttons and the selector reach it from now on.
  void Attach(DevicePresets& presets);

  // PresetView
  void ShowPresetList(const std::array<std::string, kPresetCount>& entries, int selected) override;
  void SelectPreset(int position) override;
  int PresetListPosition() const override;
  int SlotSelectorPosition() const override;
  std::string NameBoxText() const override;
  void SetNameBoxText(std::string_view text) override;

 private:
  BottomControls& controls_;
  QComboBox* slots_;
  QLineEdit* name_;
  QComboBox* list_;
};

}  // namespace veltrane
