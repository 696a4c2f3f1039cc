// The HID link on an in-process backend and a virtual clock: names, the choice of the
// processor, hot-plug notices, writes and the history lines.

#include "link/hid_link.h"

#include <QtTest>
#include <string>
#include <vector>

#include "hex_util.h"
#include "hid_test_util.h"
#include "link/hid_history.h"
#include "protocol/virtual_clock.h"

// Test data rows carry device lists.
Q_DECLARE_METATYPE(std::vector<veltrane::HidDeviceInfo>)

namespace veltrane::test {
namespace {

HidReport ReportOf(std::span<const std::uint8_t> frame) {
  HidReport report{};
  std::copy(frame.begin(), frame.end(), report.begin() + 1);
  return report;
}

std::string Repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

// A link over a fake backend whose devices record the reports written to them.
struct Rig {
  VirtualClock clock;
  FakeHidBackend fake;
  RecordingHidView view;
  HidLink link{fake, clock, view};
  std::map<std::string, std::vector<HidReport>> written;

  void Plug(const HidDeviceInfo& info) {
    fake.Plug(info, [this, path = info.path](const HidReport& r) { written[path].push_back(r); });
  }

  // Starts the link on a plugged-in processor and keeps every reply it delivers.
  std::vector<Bytes> replies;
  void StartReceiving() {
    Plug(ProcessorInfo());
    link.Start();
    clock.RunDue();
    link.SetReceiver(
        [this](std::span<const std::uint8_t> b) { replies.emplace_back(b.begin(), b.end()); });
  }

  // A reply as the processor sends it: a header report with its first ten bytes, then the
  // rest in 64-byte data reports, or the header alone for a reply cut off.
  void SendReply(const Bytes& frame, bool header_only = false) {
    std::array<std::uint8_t, kHidDataSize> report{};
    std::copy_n(frame.begin(), 10, report.begin());
    fake.PushInput("fake:processor", report);
    for (std::size_t at = 10; !header_only && at < frame.size(); at += kHidDataSize) {
      report.fill(0);
      std::copy_n(frame.begin() + at, std::min(kHidDataSize, frame.size() - at), report.begin());
      fake.PushInput("fake:processor", report);
    }
  }
};

}  // namespace

class HidLinkTest : public QObject {
  Q_OBJECT

 private slots:
  void historyLines() {
    // The keep-alive poll with DeviceId 0, as the processor's 65-byte report.
    const HidReport poll = ReportOf(Hex("A5 A5 A5 00 A2 00 2B 00 00 00 89 AA"));
    QCOMPARE(FormatWriteLine(poll),
             "W 00  A5 A5 A5 00 A2 00 2B 00 00 00 89 AA " + Repeat("00 ", 52));
    // Only the bytes written are shown.
    QCOMPARE(FormatWriteLine(Hex("00 0A FF")), std::string("W 00  0A FF "));
    QCOMPARE(FormatWriteError({0x1F, "A device attached to the system is not functioning."}),
             std::string("WRITE ERROR: A device attached to the system is not functioning. (1F)"));
    QCOMPARE(FormatReadError({1167, "The device is not connected."}),
             std::string("READ ERROR: The device is not connected. (48F)"));
  }

  // The machine's HID layer: a device that is not there fails to open with a reason.
  void hidapiOpenFailsCleanly() {
    const auto backend = CreateHidapiBackend();
    for (const HidDeviceInfo& info : backend->Enumerate()) QVERIFY(!info.path.empty());
    HidError error;
    QCOMPARE(backend->Open("/dev/veltrane-no-such-hidraw", error), kNoHidHandle);
    QVERIFY(error.code != 0);
    QVERIFY(!error.message.empty());
    QVERIFY(backend->Write(12345, HidReport{}).written < 0);
  }

  void deviceName_data() {
    QTest::addColumn<QString>("product");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<int>("vid");
    QTest::addColumn<int>("pid");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("processor");
    QTest::newRow("processor") << "HALVERNIQ"
                               << "0000001" << 1155 << 22352 << "HALVERNIQ (Serial=0000001)"
                               << true;
    QTest::newRow("no product string")
        << ""
        << "0000001" << 1155 << 22352 << "Device VID=0483 PID=5750 (Serial=0000001)" << false;
    QTest::newRow("no serial") << "HALVERNIQ"
                               << "" << 1155 << 22352 << "HALVERNIQ" << false;
    QTest::newRow("neither") << ""
                             << "" << 0xabc << 0x1f << "Device VID=0ABC PID=001F" << false;
    QTest::newRow("other serial") << "HALVERNIQ"
                                  << "0000002" << 1155 << 22352 << "HALVERNIQ (Serial=0000002)"
                                  << false;
  }
  void deviceName() {
    QFETCH(QString, product);
    QFETCH(QString, serial);
    QFETCH(int, vid);
    QFETCH(int, pid);
    QFETCH(QString, name);
    QFETCH(bool, processor);
    const HidDeviceInfo info{"p", static_cast<std::uint16_t>(vid), static_cast<std::uint16_t>(pid),
                             product.toStdString(), serial.toStdString()};
    QCOMPARE(QString::fromStdString(DeviceName(info)), name);
    QCOMPARE(FindProcessor({"Keyboard", DeviceName(info)}) == 1, processor);
  }

  // Which device becomes CurrentHidDevice: only the first entry named exactly like the
  // processor, and writes go to that device alone.
  void processorChoice_data() {
    QTest::addColumn<std::vector<HidDeviceInfo>>("devices");
    QTest::addColumn<QString>("used");  // path written to, empty: none
    const HidDeviceInfo mouse{"fake:mouse", 0x046d, 0xc077, "USB Optical Mouse", ""};
    QTest::newRow("alone") << std::vector{ProcessorInfo()} << "fake:processor";
    QTest::newRow("after a mouse") << std::vector{mouse, ProcessorInfo()} << "fake:processor";
    QTest::newRow("two processors")
        << std::vector{ProcessorInfo("fake:a"), ProcessorInfo("fake:b")} << "fake:a";
    QTest::newRow("other serial first")
        << std::vector{ProcessorInfo("fake:a", "0000002"), ProcessorInfo("fake:b")} << "fake:b";
    QTest::newRow("no product string")
        << std::vector{HidDeviceInfo{"fake:a", kProcessorVendorId, kProcessorProductId, "",
                                     "0000001"}}
        << "";
    QTest::newRow("none") << std::vector{mouse} << "";
  }
  void processorChoice() {
    QFETCH(std::vector<HidDeviceInfo>, devices);
    QFETCH(QString, used);
    Rig rig;
    for (const auto& info : devices) rig.Plug(info);
    rig.link.Start();
    rig.clock.RunDue();
    QCOMPARE(rig.view.devices.size(), devices.size());
    QCOMPARE(rig.link.HidMode(), !used.isEmpty());
    const bool wrote = rig.link.WriteReport(ReportOf(Hex("A5 A5 A5 00 A2 00 2B 00 00 00 89 AA")));
    QCOMPARE(wrote, !used.isEmpty());
    std::size_t total = 0;
    for (const auto& [path, reports] : rig.written) total += reports.size();
    QCOMPARE(total, std::size_t{used.isEmpty() ? 0u : 1u});
    if (!used.isEmpty()) QCOMPARE(rig.written[used.toStdString()].size(), std::size_t{1});
    // A failed choice writes no history line; a write logs exactly one.
    QCOMPARE(rig.view.history.back().starts_with("W 00  "), !used.isEmpty());
  }

  // Devices are looked at once the loop runs and then every second; one look that finds
  // several changes gives the removals first, then the arrivals, then one device list.
  void hotPlugNotices() {
    Rig rig;
    const HidDeviceInfo mouse{"fake:mouse", 0x046d, 0xc077, "USB Optical Mouse", ""};
    const HidDeviceInfo keys{"fake:keys", 0x04d9, 0x1702, "", "K1"};
    rig.Plug(mouse);
    rig.Plug(ProcessorInfo());
    rig.link.Start();
    rig.clock.RunDue();
    QVERIFY(rig.link.HidMode());
    QCOMPARE(rig.view.status, std::string(kHidArrivedText));
    QVERIFY(!rig.view.port_lists_enabled);

    rig.view.history.clear();
    const int updates = rig.view.device_list_updates;
    rig.fake.Unplug("fake:mouse");
    rig.Plug(keys);
    rig.fake.Unplug("fake:processor");
    rig.clock.Advance(999);
    QVERIFY(rig.view.history.empty());
    rig.clock.Advance(1);
    QCOMPARE(rig.view.history, (std::vector<std::string>{
                                   "Removal of USB Optical Mouse",
                                   "Removal of HALVERNIQ (Serial=0000001)",
                                   "Arrival of Device VID=04D9 PID=1702 (Serial=K1)",
                               }));
    QCOMPARE(rig.view.device_list_updates, updates + 1);
    QCOMPARE(rig.view.devices, std::vector<std::string>{"Device VID=04D9 PID=1702 (Serial=K1)"});
    QCOMPARE(rig.view.status, std::string(kHidRemovedText));
    QVERIFY(rig.view.port_lists_enabled);
    QVERIFY(!rig.link.HidMode());
    // The reader has ended and the device is released.
    QCOMPARE(rig.fake.OpenHandles(), std::size_t{0});
    QVERIFY(!rig.link.WriteReport(HidReport{}));

    // Nothing changed: no notice at all.
    rig.clock.Advance(3000);
    QCOMPARE(rig.view.history.size(), std::size_t{3});
    QCOMPARE(rig.view.device_list_updates, updates + 1);
  }

  // A device with the processor's IDs but another name changes the label and the lists
  // like the processor, is logged, and is never written to.
  void similarDeviceIsLoggedButNotUsed() {
    Rig rig;
    rig.link.Start();
    rig.clock.RunDue();
    rig.Plug(ProcessorInfo("fake:other", "0000002"));
    rig.clock.Advance(1000);
    QCOMPARE(rig.view.history, std::vector<std::string>{"Arrival of HALVERNIQ (Serial=0000002)"});
    QCOMPARE(rig.view.status, std::string(kHidArrivedText));
    QVERIFY(!rig.view.port_lists_enabled);
    QVERIFY(!rig.link.HidMode());
    QVERIFY(!rig.link.WriteReport(ReportOf(Hex("A5 A5 A5 00 A2 00 2B 00 00 00 89 AA"))));
    QVERIFY(rig.written.empty());
    QCOMPARE(rig.fake.OpenHandles(), std::size_t{0});
  }

  // Frames leave as 64-byte reports and replies arrive as whole frames: nothing behind the
  // link sees a report.
  void framesInReportsBothWays() {
    Rig rig;
    rig.StartReceiving();

    const Bytes block(kLongWriteBlockLength, 0x33);
    rig.link.Write(block);
    const auto& written = rig.written["fake:processor"];
    QCOMPARE(written.size(), std::size_t{9});
    QCOMPARE(written[8][42], std::uint8_t{0x33});  // the last report holds 42 bytes
    QCOMPARE(written[8][43], std::uint8_t{0});
    // A report that fails ends its frame: the rest of the block is not written.
    rig.fake.FailWrites("fake:processor", 1, {5, "Input/output error"});
    rig.link.Write(block);
    QCOMPARE(written.size(), std::size_t{9});

    // A reply as a header report and a data report reaches the receiver once, whole.
    const Bytes poll = BuildFrame(0, kCmdData, 0, kObjPoll, 0, Bytes(8, 1));
    rig.SendReply(poll);
    QVERIFY(DrainHidInput(rig.fake, rig.link));
    QCOMPARE(rig.replies.size(), std::size_t{1});
    QVERIFY(rig.replies[0] == poll);
  }

  // A reply cut off by the processor's removal ends with it: the first reply from the
  // processor plugged in again is read from its own header report.
  void halfReplyEndsWithTheDevice() {
    Rig rig;
    rig.StartReceiving();

    // The header of a reply that needs two data reports, then the processor goes.
    rig.SendReply(BuildFrame(0, kCmdData, 0, kObjPoll, 0, Bytes(100, 7)), true);
    QVERIFY(DrainHidInput(rig.fake, rig.link));
    rig.fake.Unplug("fake:processor");
    rig.clock.Advance(1000);
    QVERIFY(!rig.link.HidMode());
    rig.Plug(ProcessorInfo());
    rig.clock.Advance(1000);
    QVERIFY(rig.link.HidMode());

    const Bytes poll = BuildFrame(0, kCmdData, 0, kObjPoll, 0, Bytes(8, 1));
    rig.SendReply(poll);
    QVERIFY(DrainHidInput(rig.fake, rig.link));
    QCOMPARE(rig.replies.size(), std::size_t{1});
    QVERIFY(rig.replies[0] == poll);
  }

  void writeAndReadErrorsAreLogged() {
    Rig rig;
    rig.Plug(ProcessorInfo());
    rig.link.Start();
    rig.clock.RunDue();
    rig.view.history.clear();

    rig.fake.FailWrites("fake:processor", 1,
                        {0x1F, "A device attached to the system is not functioning."});
    QVERIFY(!rig.link.WriteReport(HidReport{}));
    QVERIFY(rig.link.WriteReport(HidReport{}));
    QCOMPARE(rig.view.history,
             (std::vector<std::string>{
                 "WRITE ERROR: A device attached to the system is not functioning. (1F)",
                 "W 00  " + Repeat("00 ", 64)}));

    rig.fake.FailNextRead("fake:processor", {5, "Input/output error"});
    QVERIFY(DrainHidInput(rig.fake, rig.link));
    QCOMPARE(rig.view.history.back(), std::string("READ ERROR: Input/output error (5)"));
  }
};

}  // namespace veltrane::test

QTEST_GUILESS_MAIN(veltrane::test::HidLinkTest)
#include "hid_link_test.moc"
