#include "ui/editor_features.h"

#include "ui/block_diagram.h"
#include "ui/bottom_controls.h"
#include "ui/device_id_row.h"
#include "ui/lock_dialogs.h"
#include "ui/main_window.h"
#include "ui/preset_rows.h"
#include "ui/top_bar.h"
#include "ui/window_operation_view.h"

namespace veltrane {

EditorFeatures::EditorFeatures(TimerHost& timers, ProtocolEngine& engine, ParameterModel& model,
                               MainWindow& main) {
  BottomControls& controls = *main.Diagram()->Controls();
  operations_ = std::make_unique<WindowOperationView>(main);
  preset_rows_ = std::make_unique<PresetRows>(controls);
  device_row_ = std::make_unique<DeviceIdRow>(controls, *main.DeviceIdList());
  lock_screen_ = std::make_unique<LockScreen>(main);

  presets_ = std::make_unique<DevicePresets>(timers, engine, *operations_, *preset_rows_);
  lock_ = std::make_unique<PanelLock>(engine, model, *operations_, *lock_screen_);
  settings_ = std::make_unique<DeviceSettings>(engine, *operations_, *device_row_, *presets_);
  router_ = std::make_unique<ReplyRouter>(engine, *presets_, *lock_, *settings_);

  preset_rows_->Attach(*presets_);
  device_row_->Attach(*settings_);
  lock_screen_->Attach(*lock_);
}

EditorFeatures::~EditorFeatures() = default;

}  // namespace veltrane
