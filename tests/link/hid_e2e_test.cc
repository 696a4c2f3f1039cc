// The protocol engine over the HID link, the in-process HID backend and the simulated
// processor, on a virtual clock: connections over HID, unplugging during a connection,
// plugging in during a serial connection.

#include <QtTest>
#include <algorithm>
#include <string>
#include <vector>

#include "hid_test_util.h"
#include "protocol/engine.h"
#include "protocol/engine_harness.h"
#include "protocol/virtual_clock.h"
#include "sim/sim_link.h"
#include "sim/simulator.h"

namespace veltrane::test {
namespace {

constexpr char kProcessorPath[] = "fake:processor";

SimOptions DemoOptions() {
  SimOptions options;
  options.demo_content = true;
  return options;
}

// Engine, HID link and simulator on one virtual clock. Time advances in 10 ms steps and
// every input report the simulator queued is handed to the engine before the next step.
struct Rig {
  VirtualClock clock;
  ParameterModel model;
  RecordingView view;
  ProtocolEngine engine{clock, model, view};
  Simulator sim{clock, DemoOptions()};
  SimSerialPort serial{clock, sim};
  FakeHidBackend fake;
  RecordingHidView hid_view;
  HidLink link{fake, clock, hid_view};

  Rig() {
    view.SetClock(&clock);
    serial.SetReceiver(
        [this](std::span<const std::uint8_t> bytes) { engine.OnSerialBytes(bytes); });
    engine.SetSerialPort(&serial);
    engine.SelectPort("sim", 1);
    sim.SetHidSink(
        [this](std::span<const std::uint8_t> data) { fake.PushInput(kProcessorPath, data); });
    link.AttachEngine(&engine);
    engine.Start();
    link.Start();
  }

  void PlugProcessor() {
    fake.Plug(ProcessorInfo(kProcessorPath), [this](const HidReport& r) { sim.OnHidReport(r); });
  }

  void Run(int ms) {
    for (int t = 0; t < ms; t += 10) {
      clock.Advance(10);
      QVERIFY(DrainHidInput(fake, link));
    }
  }

  int Count(const std::string& message) const {
    return static_cast<int>(std::count(view.messages.begin(), view.messages.end(), message));
  }

  // Frames of one kind the simulator took in, over HID or over the serial port.
  std::vector<const SimReceivedFrame*> Received(SimFrameKind kind, bool via_hid) const {
    std::vector<const SimReceivedFrame*> out;
    for (const SimReceivedFrame& f : sim.received()) {
      if (f.kind == kind && f.via_hid == via_hid) out.push_back(&f);
    }
    return out;
  }
};

}  // namespace

class HidEndToEndTest : public QObject {
  Q_OBJECT

 private slots:
  void connectionCompletesOverHid() {
    Rig rig;
    rig.PlugProcessor();
    rig.Run(10);
    QVERIFY(rig.engine.HidMode());
    QVERIFY(!rig.hid_view.port_lists_enabled);

    rig.engine.ConnectButtonClicked();
    rig.Run(2000);
    QVERIFY(rig.engine.Connected());
    QCOMPARE(rig.engine.ComPortNumber(), kComPortHid);
    QVERIFY(rig.view.messages.empty());
    // Image, names and settings all came over HID, and the serial port was never opened.
    QCOMPARE(rig.model, rig.sim.LiveModel());
    QCOMPARE(rig.Received(SimFrameKind::kNamesRequest, true).size(), std::size_t{1});
    QCOMPARE(rig.Received(SimFrameKind::kSettingsRequest, true).size(), std::size_t{1});
    QCOMPARE(rig.serial.open_count(), 0);
    // Each report written is in the history, the first one the image request.
    const auto first = std::find_if(rig.hid_view.history.begin(), rig.hid_view.history.end(),
                                    [](const std::string& l) { return l.starts_with("W "); });
    QVERIFY(first != rig.hid_view.history.end());
    QVERIFY(first->starts_with("W 00  A5 A5 A5 00 A2 00 28 00 00 00 8A AA 00 "));

    // Polls keep the connection alive.
    const auto polls_before = rig.Received(SimFrameKind::kPoll, true).size();
    rig.Run(5000);
    QVERIFY(rig.engine.Connected());
    QVERIFY(rig.view.messages.empty());
    QVERIFY(rig.Received(SimFrameKind::kPoll, true).size() >= polls_before + 9);
  }

  // The device goes while connected: writes fail and are logged until the next look at
  // the devices drops it, and the keep-alive time-out ends the connection once.
  void unplugDuringConnectionEndsWithInterrupt() {
    Rig rig;
    rig.PlugProcessor();
    rig.Run(10);
    rig.engine.ConnectButtonClicked();
    rig.Run(3000);
    QVERIFY(rig.engine.Connected());

    const std::int64_t unplugged_at = rig.clock.NowMs();
    const std::int64_t last_poll = rig.Received(SimFrameKind::kPoll, true).back()->time_ms;
    rig.fake.Unplug(kProcessorPath);
    rig.Run(1000);
    QVERIFY(!rig.engine.HidMode());
    QCOMPARE(rig.hid_view.status, std::string(kHidRemovedText));
    QVERIFY(std::count(rig.hid_view.history.begin(), rig.hid_view.history.end(),
                       "Removal of HALVERNIQ (Serial=0000001)") == 1);
    // Polls written before the link noticed found no device.
    QVERIFY(std::count(rig.hid_view.history.begin(), rig.hid_view.history.end(),
                       "WRITE ERROR: No such device (13)") >= 1);

    rig.Run(4000);
    QCOMPARE(rig.Count("interrupt."), 1);
    QCOMPARE(rig.view.messages.size(), std::size_t{1});
    QVERIFY(!rig.engine.Connected());
    QCOMPARE(rig.view.caption, std::string(kCaptionDisconnected));
    // The first unanswered poll left within 500 ms of the last answered one; the time-out
    // counts 2 s from it, then the port closes 50 ms later.
    const std::int64_t shown = rig.view.message_times.back();
    QVERIFY2(
        shown >= last_poll + 2000 && shown <= last_poll + 500 + 2000 + 60,
        qPrintable(QString("interrupt at %1 ms, last answered poll at %2 ms, unplugged at %3 ms")
                       .arg(shown)
                       .arg(last_poll)
                       .arg(unplugged_at)));
  }

  // Plugging the processor in while a serial connection runs: the arrival is logged and
  // changes the label but not the lists, and from the next frame on the connection's
  // traffic goes over HID while the serial port stays open.
  void pluggingInDuringSerialConnectionSwitchesToHid() {
    Rig rig;
    rig.Run(10);
    rig.engine.ConnectButtonClicked();
    rig.Run(2000);
    QVERIFY(rig.engine.Connected());
    QCOMPARE(rig.engine.ComPortNumber(), 1);
    QVERIFY(!rig.Received(SimFrameKind::kPoll, false).empty());

    rig.PlugProcessor();
    rig.Run(1000);
    QCOMPARE(rig.hid_view.status, std::string(kHidArrivedText));
    QVERIFY(rig.hid_view.port_lists_enabled);  // left alone while connected
    QVERIFY(rig.engine.HidMode());
    const auto serial_writes = rig.serial.sent().size();

    rig.Run(3000);
    QVERIFY(rig.engine.Connected());
    QVERIFY(rig.view.messages.empty());
    QVERIFY(rig.serial.IsOpen());
    QCOMPARE(rig.serial.sent().size(), serial_writes);
    QVERIFY(rig.Received(SimFrameKind::kPoll, true).size() >= 5);

    // The disconnect closes the serial port; the HID device stays in use.
    rig.engine.ConnectButtonClicked();
    rig.Run(200);
    QVERIFY(!rig.serial.IsOpen());
    QVERIFY(rig.engine.HidMode());
  }
};

}  // namespace veltrane::test

QTEST_GUILESS_MAIN(veltrane::test::HidEndToEndTest)
#include "hid_e2e_test.moc"
