#pragma once

// Everything that talks to the processor beyond live editing, built in one place: the gate
// that lets one operation run at a time, the operations, and the route of the engine's
// replies to them. The editor, veltrane-ctl and the tests build this; each brings its own
// windows' side (the views) and its files.

#include "access/device_settings.h"
#include "access/panel_lock.h"
#include "access/reply_router.h"
#include "model/parameter_model.h"
#include "protocol/engine.h"
#include "protocol/outcome.h"
#include "protocol/timer.h"
#include "protocol/view.h"
#include "storage/device_presets.h"
#include "storage/file_store.h"
#include "storage/group_backup.h"
#include "storage/operation_gate.h"
#include "storage/preset_file.h"

namespace veltrane {

struct ProcessorViews {
  OperationView& operations;
  PresetView& presets;
  LockView& lock;
  DeviceNumberView& device_number;
};

class ProcessorOperations {
 public:
  ProcessorOperations(TimerHost& timers, ProtocolEngine& engine, ParameterModel& model,
                      const ProcessorViews& views, FileStore& files);
  ProcessorOperations(const ProcessorOperations&) = delete;
  ProcessorOperations& operator=(const ProcessorOperations&) = delete;

  OperationGate& Gate() { return gate_; }
  DevicePresets& Presets() { return presets_; }
  PresetFile& File() { return file_; }
  GroupBackup& Backup() { return backup_; }
  PanelLock& Lock() { return lock_; }
  DeviceSettings& Settings() { return settings_; }
  ReplyRouter& Router() { return router_; }

  // One listener for how every operation ends, the connection's own end included.
  void SetOutcomeListener(const OutcomeListener& listener);

 private:
  ProtocolEngine& engine_;
  OperationGate gate_;
  DevicePresets presets_;
  PresetFile file_;
  GroupBackup backup_;
  PanelLock lock_;
  DeviceSettings settings_;
  ReplyRouter router_;  // last: it routes to all of the above
};

}  // namespace veltrane
