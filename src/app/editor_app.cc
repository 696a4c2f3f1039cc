#include "app/editor_app.h"

#include <QApplication>
#include <QIcon>

#include "sim/pty_server.h"
#include "ui/response_graph.h"
#include "ui/window_operation_view.h"

namespace veltrane {

QIcon EditorIcon() {
  QIcon icon;
  for (int size : {48, 128, 256}) {
    icon.addFile(QStringLiteral(":/icons/%1/veltrane.png").arg(size), QSize(size, size));
  }
  return icon;
}

EditorApp::EditorApp(EditorOptions options) : options_(std::move(options)) {
  // Every window and box of the program, the about box included, shows it.
  QApplication::setWindowIcon(EditorIcon());
  // Creation order of the original program: main window, then detail window.
  main_ = std::make_unique<MainWindow>(model_, timers_, state_);
  detail_ = std::make_unique<DetailWindow>(model_, timers_, state_);
  engine_ = std::make_unique<ProtocolEngine>(timers_, model_, *main_);

  main_->AttachDetailWindow(detail_.get());
  main_->AttachEngine(engine_.get());
  detail_->AttachSink(engine_.get());
  detail_->AttachGraph(main_->Graph());
  detail_->AttachMainPanels(main_.get());
  features_ = std::make_unique<EditorFeatures>(timers_, *engine_, model_, *main_, files_);

  serial_ = std::make_unique<SerialLink>();
  // While "Scan line…" runs, the port's bytes are the scan's.
  serial_->SetReceiver([this](std::span<const std::uint8_t> bytes) {
    if (line_scan_ && line_scan_->Scanning()) {
      line_scan_->OnBytes(bytes);
    } else {
      engine_->OnBytes(bytes);
    }
  });
  engine_->SetSerialPort(serial_.get());
  line_scan_ = std::make_unique<LineScanAction>(*main_, timers_, *engine_, *serial_,
                                                features_->Operations());

  hid_backend_ = options_.hid_backend ? std::move(options_.hid_backend) : CreateHidapiBackend();
  hid_view_ = std::make_unique<WidgetHidView>(
      main_->HistoryList(), main_->DeviceList(), main_->HidStatusLabel(),
      [main = main_.get()](bool enabled) { main->SetPortListsEnabled(enabled); });
  hid_ = std::make_unique<HidLink>(*hid_backend_, timers_, *hid_view_);
  hid_->AttachEngine(engine_.get());
  port_hint_ = std::make_unique<PortListHint>(main_->PortList(),
                                              [hid = hid_.get()] { return hid->HidMode(); });
}

EditorApp::~EditorApp() {
  // The processor's terminal and the links go before the engine they feed, the engine
  // before the windows it shows itself in.
  demo_.reset();
  port_hint_.reset();
  ports_.reset();
  hid_.reset();
  serial_.reset();
  main_->AttachEngine(nullptr);
  detail_->AttachSink(nullptr);
  features_.reset();
  engine_.reset();
  detail_.reset();
  main_.reset();
}

bool EditorApp::Start() {
  std::vector<std::string> extra = options_.extra_ports;
  if (options_.demo) {
    PtyServerOptions demo_options;
    demo_options.sim.demo_content = true;
    demo_options.sim.pacing_9600 = true;
    demo_options.sim.keep_log = false;
    demo_ = std::make_unique<PtyServer>(demo_options);
    demo_port_ = demo_->Start();
    if (demo_port_.empty()) {
      error_ = "The demo processor could not start: " + demo_->error();
      demo_.reset();
      return false;
    }
    extra.push_back(demo_port_);
  }
  PortList::Enumerator enumerate = options_.enumerate_ports;
  if (!enumerate) enumerate = [extra] { return ListSerialPorts(extra); };
  ProtocolEngine* engine = engine_.get();
  ports_ = std::make_unique<PortListController>(
      main_->PortList(), timers_, std::move(enumerate), [engine] { return engine->Connected(); },
      [engine](const std::string& name, int number) { engine->SelectPort(name, number); });
  if (!demo_port_.empty()) ports_->Choose(demo_port_);

  engine_->Start();
  hid_->Start();
  return true;
}

void EditorApp::Show() { main_->show(); }

}  // namespace veltrane
