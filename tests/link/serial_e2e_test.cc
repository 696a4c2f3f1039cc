// The editor's protocol engine on the real serial link, talking in real time to the
// simulated processor on a pseudo-terminal: connecting, changes, polls, the far side
// going away, and a port that another process holds. Also measures how long connecting
// takes at 9600 baud.

#include <QProcess>
#include <QSerialPort>
#include <QtTest>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "hex_util.h"
#include "link/qt_timer_host.h"
#include "link/serial_link.h"
#include "model/blocks.h"
#include "protocol/engine.h"
#include "protocol/engine_harness.h"
#include "sim/processor_state.h"
#include "sim/pty_server.h"

namespace veltrane::test {
namespace {

constexpr int kWaitMs = 8000;  // upper bound for each step; each normally takes ~1 s

// Passes writes on to the serial link and keeps them with their time.
class TimedPort : public SerialPort {
 public:
  TimedPort(SerialPort& port, const TimerHost& clock) : port_(port), clock_(clock) {}
  bool Open(const std::string& name) override { return port_.Open(name); }
  void Close() override { port_.Close(); }
  bool IsOpen() const override { return port_.IsOpen(); }
  void Write(std::span<const std::uint8_t> bytes) override {
    writes.push_back({clock_.NowMs(), {bytes.begin(), bytes.end()}});
    port_.Write(bytes);
  }
  // Times of the keep-alive polls written.
  std::vector<std::int64_t> PollTimes() const {
    std::vector<std::int64_t> times;
    for (const auto& w : writes) {
      if (w.bytes.size() == 12 && w.bytes[4] == kCmdRequest && w.bytes[6] == kObjPoll) {
        times.push_back(w.time_ms);
      }
    }
    return times;
  }

  std::vector<SentFrame> writes;

 private:
  SerialPort& port_;
  const TimerHost& clock_;
};

class RecordingHooks : public ReplyHooks {
 public:
  explicit RecordingHooks(const TimerHost& clock) : clock_(clock) {}
  void OnPresetNames(const std::array<std::string, 20>& names) override {
    this->names = names;
    names_at_ms = clock_.NowMs();
    ++name_replies;
  }
  void OnDeviceSettings(const std::array<std::uint8_t, 4>& data) override {
    settings = data;
    ++settings_replies;
  }

  std::array<std::string, 20> names;
  std::int64_t names_at_ms = -1;
  int name_replies = 0;
  std::array<std::uint8_t, 4> settings{};
  int settings_replies = 0;

 private:
  const TimerHost& clock_;
};

// An editor without windows on the real serial link and the Qt timers.
struct Editor {
  QtTimerHost timers;
  ParameterModel model;
  RecordingView view;
  ProtocolEngine engine{timers, model, view};
  SerialLink link;
  TimedPort port{link, timers};
  RecordingHooks hooks{timers};

  Editor() {
    link.SetReceiver([this](std::span<const std::uint8_t> bytes) { engine.OnBytes(bytes); });
    engine.SetSerialPort(&port);
    engine.SetHooks(&hooks);
    engine.Start();
  }
  ~Editor() { engine.SetSerialPort(nullptr); }
};

std::unique_ptr<PtyServer> StartProcessor(bool paced) {
  PtyServerOptions options;
  options.sim.demo_content = true;
  options.sim.pacing_9600 = paced;
  auto server = std::make_unique<PtyServer>(options);
  if (server->Start().empty()) qWarning("pty: %s", server->error().c_str());
  return server;
}

ProcessorState DemoProcessor() {
  ProcessorState state;
  state.LoadDemoContent();
  return state;
}

}  // namespace

class SerialEndToEndTest : public QObject {
  Q_OBJECT

 private slots:
  void connectChangePollAndLoseTheProcessor() {
    auto server = StartProcessor(/*paced=*/true);
    QVERIFY(server->running());
    Editor editor;
    const ProcessorState demo = DemoProcessor();
    editor.engine.SelectPort(server->slave_path(), 1);

    const std::int64_t clicked = editor.timers.NowMs();
    editor.engine.ConnectButtonClicked();
    QTRY_VERIFY_WITH_TIMEOUT(editor.hooks.name_replies == 1, kWaitMs);
    const std::int64_t elapsed = editor.hooks.names_at_ms - clicked;
    // 564 image bytes and 412 name bytes at 10 bits per byte and 9600 baud.
    const double floor_ms = (564.0 + 412.0) * 10.0 * 1000.0 / 9600.0;
    qInfo("connect click to names applied: %lld ms; line floor %.0f ms; ratio %.2f",
          static_cast<long long>(elapsed), floor_ms, static_cast<double>(elapsed) / floor_ms);

    QTRY_VERIFY_WITH_TIMEOUT(editor.hooks.settings_replies == 1, kWaitMs);
    QVERIFY(editor.engine.Connected());
    QTRY_VERIFY(editor.view.lamp_green);
    QCOMPARE(editor.view.caption, std::string(kCaptionConnected));
    QCOMPARE(editor.model, demo.LiveModel());
    QCOMPARE(editor.hooks.names[0], demo.preset(1).name);
    QCOMPARE(editor.hooks.settings[3], demo.settings().device_number);

    // A change leaves as its block's frame; the polls go on.
    ParameterModel changed = editor.model;
    changed.channels[kOut1].gain = editor.model.channels[kOut1].gain == 30 ? 31 : 30;
    editor.model = changed;
    SendChannelBlock(editor.model, kOut1, editor.engine);
    const WriteFrame frame = BuildBlockFrame(changed, 0, kOut1, kChannelBlock);
    const auto sent = [&] {
      for (const auto& w : editor.port.writes) {
        if (std::equal(w.bytes.begin(), w.bytes.end(), frame.begin(), frame.end())) return true;
      }
      return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(sent(), kWaitMs);
    const std::size_t polls = editor.port.PollTimes().size();
    QTRY_VERIFY_WITH_TIMEOUT(editor.port.PollTimes().size() >= polls + 4, kWaitMs);
    QVERIFY(editor.view.messages.empty());
    const auto times = editor.port.PollTimes();
    QString gaps;
    for (std::size_t i = polls + 1; i < times.size(); ++i)
      gaps += QString(" %1").arg(times[i] - times[i - 1]);
    qInfo("poll intervals (ms):%s", qPrintable(gaps));

    // Reconnecting reads the change back from the processor.
    editor.engine.ConnectButtonClicked();
    QTRY_COMPARE_WITH_TIMEOUT(editor.view.caption, std::string(kCaptionDisconnected), kWaitMs);
    QVERIFY(!editor.engine.Connected());
    editor.model = demo.LiveModel();
    editor.engine.ConnectButtonClicked();
    QTRY_VERIFY_WITH_TIMEOUT(editor.hooks.name_replies == 2, kWaitMs);
    QCOMPARE(editor.model, changed);

    // The processor's side goes away: one "interrupt." once the polls go unanswered.
    QTRY_VERIFY_WITH_TIMEOUT(editor.hooks.settings_replies == 2, kWaitMs);
    server->Stop();
    QTRY_VERIFY_WITH_TIMEOUT(!editor.view.messages.empty(), kWaitMs);
    QCOMPARE(editor.view.messages, std::vector<std::string>{"interrupt."});
    QTRY_VERIFY(!editor.engine.Connected());
    QCOMPARE(editor.view.caption, std::string(kCaptionDisconnected));
    QVERIFY(!editor.link.IsOpen());
  }

  // A port held by another process: "No port or in use.", nothing else changes, and the
  // editor connects once the port is free.
  void portHeldByAnotherProcess() {
    auto server = StartProcessor(/*paced=*/false);
    QVERIFY(server->running());
    QProcess holder;
    holder.start(QCoreApplication::applicationFilePath(),
                 {"--hold-port", QString::fromStdString(server->slave_path())});
    QVERIFY(holder.waitForReadyRead(kWaitMs));
    QCOMPARE(holder.readLine().trimmed(), QByteArray("held"));

    Editor editor;
    editor.engine.SelectPort(server->slave_path(), 1);
    editor.engine.ConnectButtonClicked();
    QTRY_VERIFY_WITH_TIMEOUT(!editor.view.messages.empty(), kWaitMs);
    QCOMPARE(editor.view.messages, std::vector<std::string>{"No port or in use."});
    QVERIFY(!editor.engine.Connected());
    QCOMPARE(editor.view.caption, std::string(kCaptionDisconnected));
    QVERIFY(editor.view.panels_enabled);
    QVERIFY(!editor.view.connecting_box);
    QVERIFY(editor.port.writes.empty());

    holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished(kWaitMs));
    QCOMPARE(holder.exitCode(), 0);
    editor.engine.ConnectButtonClicked();
    QTRY_VERIFY_WITH_TIMEOUT(editor.hooks.name_replies == 1, kWaitMs);
    QVERIFY(editor.engine.Connected());
    QCOMPARE(editor.view.messages.size(), std::size_t{1});
  }
};

}  // namespace veltrane::test

namespace {

// The other process of portHeldByAnotherProcess: holds the port until its input closes.
int HoldPort(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QSerialPort port(QString::fromLocal8Bit(argv[2]));
  if (!port.open(QIODevice::ReadWrite)) return 2;
  std::printf("held\n");
  std::fflush(stdout);
  while (std::getchar() != EOF) {
  }
  return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc == 3 && std::string(argv[1]) == "--hold-port") return HoldPort(argc, argv);
  QCoreApplication app(argc, argv);
  veltrane::test::SerialEndToEndTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "serial_e2e_test.moc"
