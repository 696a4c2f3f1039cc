#pragma once

// The operations on the processor beyond live editing (presets, preset file, backup,
// panel lock, device number) and the comforts of editing (undo and redo, copying between
// channels, filter lists, the tuning assistant) with the windows' side of each, wired
// together: the features are the core's, the views and bindings are widgets. The editor and
// the window tests build this; it must go before the main window it binds to.

#include <memory>

#include "access/processor_operations.h"
#include "model/edit_history.h"
#include "model/parameter_model.h"
#include "protocol/engine.h"
#include "protocol/timer.h"
#include "storage/eq_filter_file.h"
#include "storage/file_store.h"

namespace veltrane {

class ChannelMenus;
class DeviceIdRow;
class EditBinding;
class LockScreen;
class MainWindow;
class MeasurementActions;
class PresetRows;
class WindowOperationView;

class EditorFeatures {
 public:
  EditorFeatures(TimerHost& timers, ProtocolEngine& engine, ParameterModel& model, MainWindow& main,
                 FileStore& files);
  ~EditorFeatures();
  EditorFeatures(const EditorFeatures&) = delete;
  EditorFeatures& operator=(const EditorFeatures&) = delete;

  WindowOperationView& Operations() const { return *operations_; }
  LockScreen& Lock() const { return *lock_screen_; }
  ProcessorOperations& Processor() const { return *processor_; }
  DevicePresets& Presets() const { return processor_->Presets(); }
  PresetFile& File() const { return processor_->File(); }
  GroupBackup& Backup() const { return processor_->Backup(); }
  PanelLock& PanelLockFeature() const { return processor_->Lock(); }
  DeviceSettings& Settings() const { return processor_->Settings(); }
  EditHistory& History() const { return *history_; }
  EditBinding& Edits() const { return *edits_; }
  ChannelMenus& Menus() const { return *menus_; }
  EqFilterFile& Filters() const { return *filters_; }
  MeasurementActions& Measurements() const { return *measurements_; }

 private:
  std::unique_ptr<WindowOperationView> operations_;
  std::unique_ptr<PresetRows> preset_rows_;
  std::unique_ptr<DeviceIdRow> device_row_;
  std::unique_ptr<LockScreen> lock_screen_;
  std::unique_ptr<ProcessorOperations> processor_;
  MainWindow& main_;
  std::unique_ptr<EditHistory> history_;
  std::unique_ptr<EditBinding> edits_;
  std::unique_ptr<ChannelMenus> menus_;
  std::unique_ptr<EqFilterFile> filters_;
  std::unique_ptr<MeasurementActions> measurements_;
};

}  // namespace veltrane
