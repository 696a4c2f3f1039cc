#include "access/processor_operations.h"

namespace veltrane {

ProcessorOperations::ProcessorOperations(TimerHost& timers, ProtocolEngine& engine,
                                         ParameterModel& model, const ProcessorViews& views,
                                         FileStore& files)
    : engine_(engine),
      presets_(timers, engine, views.operations, views.presets, gate_),
      file_(timers, engine, model, views.operations, files, gate_),
      backup_(timers, engine, views.operations, files, gate_),
      lock_(engine, model, views.operations, views.lock),
      settings_(engine, views.operations, views.device_number, presets_),
      router_(engine, presets_, file_, backup_, lock_, settings_) {}

void ProcessorOperations::SetOutcomeListener(const OutcomeListener& listener) {
  engine_.SetOutcomeListener(listener);
  presets_.SetOutcomeListener(listener);
  file_.SetOutcomeListener(listener);
  backup_.SetOutcomeListener(listener);
}

}  // namespace veltrane
