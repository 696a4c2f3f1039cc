// The protocol engine over the HID link, the in-process HID backend and the simulated
// processor, on a virtual clock: connections over HID, unplugging during a connection,
// plugging in during a serial connection.

#include <QtTest>
#include <algorithm>
#include <string>
#include <vector>

#include "hex_util.h"
#include "hid_test_util.h"
#include "model/image_codec.h"
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
    serial.SetReceiver([this](std::span<const std::uint8_t> bytes) { engine.OnBytes(bytes); });
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

  // The processor drops off the bus and is back before the next look at the devices (a
  // USB reset, a quick power cycle): the list looks unchanged, but the old handle is dead.
  // The failed read makes the next look take the device again, so the connection lives on.
  void replugBetweenTwoLooksKeepsTheConnection() {
    Rig rig;
    rig.PlugProcessor();
    rig.Run(10);
    rig.engine.ConnectButtonClicked();
    rig.Run(3000);
    QVERIFY(rig.engine.Connected());

    rig.fake.Unplug(kProcessorPath);
    rig.PlugProcessor();
    const std::int64_t replugged_at = rig.clock.NowMs();
    rig.Run(5000);
    QVERIFY(rig.view.messages.empty());
    QVERIFY(rig.engine.Connected());
    QVERIFY(rig.engine.HidMode());
    QCOMPARE(std::count(rig.hid_view.history.begin(), rig.hid_view.history.end(),
                        "READ ERROR: No such device (13)"),
             1);
    // Polls go out over the new handle and are answered from then on.
    std::size_t later_polls = 0;
    for (const SimReceivedFrame* poll : rig.Received(SimFrameKind::kPoll, true)) {
      if (poll->time_ms > replugged_at + 1500) ++later_polls;
    }
    QVERIFY(later_polls >= 6);
    QVERIFY(rig.hid_view.history.back().starts_with("W 00  "));
  }

  // A long write over HID: each of the nine block reports is one history line with all 64
  // bytes after the report ID; a failed report is one error line and ends the block.
  void imageBlockReportsAreLogged() {
    Rig rig;
    rig.PlugProcessor();
    rig.Run(10);
    rig.engine.ConnectButtonClicked();
    rig.Run(2000);
    QVERIFY(rig.engine.Connected());
    rig.engine.StopScheduler();
    rig.hid_view.history.clear();

    const std::string image = EncodeParameterImage(rig.model);
    rig.engine.SendImageBlock(image, kObjImage, 0);
    QCOMPARE(rig.hid_view.history.size(), std::size_t{9});
    for (const std::string& line : rig.hid_view.history) {
      QVERIFY(line.starts_with("W 00  "));
      QCOMPARE(line.size(), std::size_t{6 + 3 * 64});
    }
    // The last report: image bytes 522..561 (block offsets 512..551), the checksum of the
    // live-settings write (data XOR DeviceId 0 XOR A3), AA, then zeros.
    std::uint8_t checksum = 0xA3;
    for (std::size_t i = 10; i < 562; ++i) checksum ^= HexByteAt(image, 2 * i + 1);
    std::vector<std::uint8_t> tail;
    for (std::size_t i = 522; i < 562; ++i) tail.push_back(HexByteAt(image, 2 * i + 1));
    tail.push_back(checksum);
    tail.push_back(0xAA);
    tail.resize(64, 0);
    QCOMPARE(rig.hid_view.history.back(), "W 00  " + Spaced(tail) + " ");

    rig.hid_view.history.clear();
    rig.fake.FailWrites(kProcessorPath, 1, {0x1F, "Broken"});
    rig.engine.SendImageBlock(image, kObjImage, 0);
    QCOMPARE(rig.hid_view.history, std::vector<std::string>{"WRITE ERROR: Broken (1F)"});
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
