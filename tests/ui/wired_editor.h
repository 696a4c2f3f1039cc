#pragma once

// The editor's windows, protocol engine and features wired together on a virtual clock,
// talking to an in-process simulated processor over a serial port; messages are kept.

#include <QStringList>
#include <memory>

#include "memory_file_store.h"
#include "protocol/engine.h"
#include "protocol/virtual_clock.h"
#include "sim/sim_link.h"
#include "sim/simulator.h"
#include "ui/detail_window.h"
#include "ui/editor_features.h"
#include "ui/main_window.h"

namespace veltrane::test {

struct WiredEditor {
  explicit WiredEditor(SimOptions options = {.demo_content = true})
      : sim(clock, std::move(options)) {
    window.SetMessageHandler([this](const QString& text) { messages << text; });
    window.AttachDetailWindow(&detail);
    window.AttachEngine(&engine);
    port.SetReceiver([this](std::span<const std::uint8_t> b) { engine.OnBytes(b); });
    engine.SetSerialPort(&port);
    engine.SelectPort("ttySIM", 1);
    features = std::make_unique<EditorFeatures>(clock, engine, model, window, files);
  }

  // Connects and lets the processor's image arrive, as a user's first click does.
  void ConnectToProcessor() {
    engine.Start();
    engine.ConnectButtonClicked();
    clock.Advance(8000);
  }

  ParameterModel model;
  EditorState state;
  VirtualClock clock;
  MainWindow window{model, clock, state};
  DetailWindow detail{model, clock, state};
  Simulator sim;
  SimSerialPort port{clock, sim};
  ProtocolEngine engine{clock, model, window};
  MemoryFileStore files;
  std::unique_ptr<EditorFeatures> features;  // goes before the windows
  QStringList messages;
};

}  // namespace veltrane::test
