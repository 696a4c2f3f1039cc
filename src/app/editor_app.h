#pragma once

// The whole editor: model, timers, windows, protocol engine, serial and HID links, the port
// list, and in demo mode a simulated processor on a pseudo-terminal of its own, listed as
// one more serial port. main() only parses the command line; tests build this class.

#include <QIcon>
#include <memory>
#include <string>
#include <vector>

#include "app/port_list_controller.h"
#include "app/port_list_hint.h"
#include "app/widget_hid_view.h"
#include "link/hid_backend.h"
#include "link/hid_link.h"
#include "link/port_list.h"
#include "disk/qt_file_store.h"
#include "link/qt_timer_host.h"
#include "link/serial_link.h"
#include "model/parameter_model.h"
#include "protocol/engine.h"
#include "ui/detail_window.h"
#include "ui/editor_features.h"
#include "ui/editor_state.h"
#include "ui/line_scan_action.h"
#include "ui/main_window.h"

namespace veltrane {

class PtyServer;

// The program's icon in the sizes the desktop shows, from the resources.
QIcon EditorIcon();

struct EditorOptions {
  // Serve a simulated processor on a pseudo-terminal and preselect it.
  bool demo = false;
  // Serial device paths listed besides the machine's ports (--port).
  std::vector<std::string> extra_ports;
  // Null: hidapi.
  std::unique_ptr<HidBackend> hid_backend;
  // Null: the machine's ports, the extra ports and the demo terminal.
  PortList::Enumerator enumerate_ports;
};

class EditorApp {
 public:
  explicit EditorApp(EditorOptions options);
  ~EditorApp();
  EditorApp(const EditorApp&) = delete;
  EditorApp& operator=(const EditorApp&) = delete;

  // Starts the demo processor (if asked), the engine and the links. False, with Error(),
  // when the demo processor could not start.
  bool Start();
  // Only the main window is shown; the detail window opens from it.
  void Show();

  const std::string& Error() const { return error_; }
  // The demo processor's terminal, empty without --demo.
  const std::string& DemoPort() const { return demo_port_; }

  ParameterModel& Model() { return model_; }
  QtTimerHost& Timers() { return timers_; }
  MainWindow& Main() { return *main_; }
  DetailWindow& Detail() { return *detail_; }
  ProtocolEngine& Engine() { return *engine_; }
  EditorFeatures& Features() { return *features_; }
  SerialLink& Serial() { return *serial_; }

 private:
  EditorOptions options_;
  std::string error_;
  std::string demo_port_;

  ParameterModel model_;
  QtTimerHost timers_;
  QtFileStore files_;
  EditorState state_;
  std::unique_ptr<MainWindow> main_;
  std::unique_ptr<DetailWindow> detail_;
  std::unique_ptr<ProtocolEngine> engine_;
  std::unique_ptr<EditorFeatures> features_;
  std::unique_ptr<SerialLink> serial_;
  std::unique_ptr<LineScanAction> line_scan_;
  std::unique_ptr<HidBackend> hid_backend_;
  std::unique_ptr<WidgetHidView> hid_view_;
  std::unique_ptr<HidLink> hid_;
  std::unique_ptr<PortListController> ports_;
  std::unique_ptr<PortListHint> port_hint_;
  std::unique_ptr<PtyServer> demo_;
};

}  // namespace veltrane
