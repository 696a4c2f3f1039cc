#include "ui/editor_features.h"

#include <QPushButton>

#include "ui/block_diagram.h"
#include "ui/bottom_controls.h"
#include "ui/channel_menus.h"
#include "ui/device_id_row.h"
#include "ui/edit_binding.h"
#include "ui/lock_dialogs.h"
#include "ui/main_window.h"
#include "ui/measurement_actions.h"
#include "ui/preset_rows.h"
#include "ui/top_bar.h"
#include "ui/window_operation_view.h"

namespace veltrane {

EditorFeatures::EditorFeatures(TimerHost& timers, ProtocolEngine& engine, ParameterModel& model,
                               MainWindow& main, FileStore& files)
    : main_(main) {
  BottomControls& controls = *main.Diagram()->Controls();
  operations_ = std::make_unique<WindowOperationView>(main);
  preset_rows_ = std::make_unique<PresetRows>(controls);
  device_row_ = std::make_unique<DeviceIdRow>(controls, *main.DeviceIdList());
  lock_screen_ = std::make_unique<LockScreen>(main);

  processor_ = std::make_unique<ProcessorOperations>(
      timers, engine, model,
      ProcessorViews{.operations = *operations_,
                     .presets = *preset_rows_,
                     .lock = *lock_screen_,
                     .device_number = *device_row_},
      files);

  preset_rows_->Attach(Presets());
  device_row_->Attach(Settings());
  lock_screen_->Attach(PanelLockFeature());
  const auto on_click = [&controls](const char* button, auto action) {
    QObject::connect(controls.findChild<QPushButton*>(QLatin1String(button)), &QPushButton::clicked,
                     &controls, action);
  };
  on_click("StoreFileButton", [this] { File().StoreFile(); });
  on_click("LoadFileButton", [this] { File().LoadFile(); });
  on_click("Save20GroupButton", [this] { Backup().SaveToPc(); });
  on_click("Load20GroupButton", [this] { Backup().LoadToDevice(); });

  history_ = std::make_unique<EditHistory>(model);
  edits_ = std::make_unique<EditBinding>(main, model, *history_);
  history_->SetOutlets(&engine, edits_.get());
  main.AttachEditHistory(history_.get());
  processor_->Router().SetEditHistory(history_.get());
  menus_ = std::make_unique<ChannelMenus>(main, model, *history_);
  filters_ = std::make_unique<EqFilterFile>(model, *history_, *operations_, *menus_, files);
  menus_->Attach(*filters_);
  measurements_ = std::make_unique<MeasurementActions>(main, model, main.State(), *history_,
                                                       *operations_, files);
  File().SetFileWatcher([this](PresetFile::FileEvent event, const std::string& path) {
    measurements_->OnPresetFile(event, path);
  });
}

EditorFeatures::~EditorFeatures() {
  // The windows outlive the features, and a box that has the focus commits as they close.
  main_.AttachEditHistory(nullptr);
  processor_->Router().SetEditHistory(nullptr);
}

}  // namespace veltrane
