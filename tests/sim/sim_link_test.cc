#include "sim/sim_link.h"

#include <gtest/gtest.h>

#include "hex_util.h"
#include "protocol/virtual_clock.h"
#include "sim/realtime_timer_host.h"
#include "sim/sim_line.h"
#include "sim_test_util.h"

namespace veltrane {
namespace {

using test::OutputReport;
using test::Spaced;

class SimSerialPortTest : public ::testing::Test {
 protected:
  SimSerialPortTest() {
    port_.SetReceiver([this](std::span<const std::uint8_t> bytes) {
      received_.insert(received_.end(), bytes.begin(), bytes.end());
    });
  }

  VirtualClock clock_;
  Simulator sim_{clock_};
  SimSerialPort port_{clock_, sim_};
  Bytes received_;
};

TEST_F(SimSerialPortTest, WritesAreRecordedAndRepliesComeOneTurnLater) {
  ASSERT_TRUE(port_.Open("/dev/ttySIM0"));
  clock_.Advance(40);
  const auto poll = BuildShortRequest(0, 0, kObjPoll);
  port_.Write(poll);
  ASSERT_EQ(port_.sent().size(), 1u);
  EXPECT_EQ(port_.sent()[0].time_ms, 40);
  EXPECT_EQ(port_.sent()[0].bytes, Bytes(poll.begin(), poll.end()));
  EXPECT_TRUE(received_.empty()) << "never from inside Write";
  clock_.RunDue();
  EXPECT_EQ(received_.size(), 20u);
  EXPECT_EQ(sim_.Count(SimFrameKind::kPoll), 1);
}

TEST_F(SimSerialPortTest, OpenCanFailAndAClosedPortCarriesNothing) {
  port_.SetOpenFails(true);
  EXPECT_FALSE(port_.Open("/dev/ttySIM0"));
  EXPECT_FALSE(port_.IsOpen());
  port_.Write(BuildShortRequest(0, 0, kObjPoll));
  EXPECT_TRUE(port_.sent().empty());
  EXPECT_EQ(sim_.FramesReceived(), 0);

  port_.SetOpenFails(false);
  ASSERT_TRUE(port_.Open("/dev/ttySIM0"));
  port_.Write(BuildShortRequest(0, 0, kObjPoll));
  port_.Close();  // the reply is on its way
  ASSERT_TRUE(port_.Open("/dev/ttySIM0"));
  clock_.RunDue();
  EXPECT_TRUE(received_.empty()) << "bytes of an earlier session are lost with it";

  sim_.options().late_ms = 100;
  port_.Write(BuildShortRequest(0, 0, kObjPoll));
  clock_.Advance(50);
  port_.Close();
  clock_.Advance(100);
  EXPECT_TRUE(received_.empty());
}

TEST_F(SimSerialPortTest, LateRepliesArriveAtTheirTime) {
  sim_.options().late_ms = 250;
  ASSERT_TRUE(port_.Open("sim"));
  port_.Write(BuildShortRequest(0, 0, kObjPoll));
  clock_.Advance(249);
  EXPECT_TRUE(received_.empty());
  clock_.Advance(1);
  EXPECT_EQ(received_.size(), 20u);
}

TEST(SimHidPortTest, FailsTheChosenWriteAndDeliversWholeReplies) {
  VirtualClock clock;
  Simulator sim(clock);
  SimHidPort port(clock, sim);
  std::vector<Bytes> reports;
  port.SetReceiver(
      [&](std::span<const std::uint8_t> r) { reports.emplace_back(r.begin(), r.end()); });
  port.FailWriteNumber(2);
  const HidReport poll = OutputReport(BuildShortRequest(0, 0, kObjPoll));
  EXPECT_TRUE(port.WriteReport(poll));
  EXPECT_FALSE(port.WriteReport(poll));
  EXPECT_TRUE(port.WriteReport(poll));
  EXPECT_EQ(port.write_attempts(), 3);
  ASSERT_EQ(port.sent().size(), 2u);
  EXPECT_EQ(port.sent()[0].bytes.size(), kHidReportSize);
  EXPECT_EQ(sim.Count(SimFrameKind::kPoll), 2);
  EXPECT_TRUE(reports.empty());
  clock.RunDue();
  // Each answer came as a header and a data report and is handed on as its frame.
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].size(), 20u);
  EXPECT_EQ(Spaced(std::span(reports[0]).first(10)), "A5 A5 A5 00 52 00 2B 00 00 08");
  EXPECT_EQ(reports[0].back(), kEndByte);

  port.SetPlugged(false);
  EXPECT_FALSE(port.WriteReport(poll));
  sim.SendRefreshReport();
  clock.RunDue();
  EXPECT_EQ(reports.size(), 2u);
}

TEST(SimLinkLifetime, PendingRepliesOutliveNeitherPortNorSimulator) {
  VirtualClock clock;
  {
    Simulator sim(clock, {.late_ms = 10});
    SimSerialPort serial(clock, sim);
    SimHidPort hid(clock, sim);
    serial.SetReceiver([](std::span<const std::uint8_t>) { FAIL(); });
    hid.SetReceiver([](std::span<const std::uint8_t>) { FAIL(); });
    ASSERT_TRUE(serial.Open("sim"));
    serial.Write(BuildShortRequest(0, 0, kObjImage));
    hid.WriteReport(OutputReport(BuildShortRequest(0, 0, kObjImage)));
    sim.options().late_ms = 0;
    serial.Write(BuildShortRequest(0, 0, kObjPoll));
  }
  clock.Advance(100);  // the sanitizer build catches any use after free here
}

// The real-time host is tested for order and bookkeeping only; nothing here waits.
TEST(RealtimeTimerHostTest, RunsDueWorkInOrderAndReportsTheNextWait) {
  RealtimeTimerHost host;
  EXPECT_EQ(host.MsUntilNext(), -1);
  std::string order;
  host.Defer(0, [&] {
    order += 'a';
    host.Defer(0, [&] { order += 'c'; });  // waits for the next turn of the loop
  });
  host.Defer(0, [&] { order += 'b'; });
  host.Defer(60000, [&] { order += 'x'; });
  EXPECT_EQ(host.MsUntilNext(), 0);
  host.RunDue();
  EXPECT_EQ(order, "ab");
  host.RunDue();
  EXPECT_EQ(order, "abc");
  EXPECT_GT(host.MsUntilNext(), 50000);
  EXPECT_LE(host.MsUntilNext(), 60000);
}

TEST(RealtimeTimerHostTest, TimersStartStopAndDie) {
  RealtimeTimerHost host;
  int ticks = 0;
  auto timer = host.CreateTimer("t", 30000, [&] { ++ticks; });
  EXPECT_FALSE(timer->Running());
  EXPECT_EQ(host.MsUntilNext(), -1);
  timer->Start();
  EXPECT_TRUE(timer->Running());
  EXPECT_GT(host.MsUntilNext(), 25000);
  timer->SetInterval(0);  // due at once, and again one turn later
  host.RunDue();
  EXPECT_EQ(ticks, 1);
  host.RunDue();
  EXPECT_EQ(ticks, 2);
  timer->Stop();
  host.RunDue();
  EXPECT_EQ(ticks, 2);
  timer->Start();
  timer.reset();  // a destroyed timer's pending tick is void
  host.RunDue();
  EXPECT_EQ(ticks, 2);
}

// One slow processor on a shared line: only the number given answers late, by exactly
// the time given, and "N:MS" reads as veltrane-sim's --late-device takes it.
TEST(SimLineTest, OneProcessorAnswersLate) {
  VirtualClock clock;
  SimLine line(clock, {1, 2}, {});
  line.SetLate(2, 200);
  SimSerialPort port(clock, line);
  std::vector<std::pair<std::int64_t, int>> answers;  // time, device byte
  port.SetReceiver([&](std::span<const std::uint8_t> b) {
    answers.emplace_back(clock.NowMs(), b.size() > 3 ? b[3] : -1);
  });
  ASSERT_TRUE(port.Open("line"));
  for (std::uint8_t id : {0, 1}) port.Write(BuildShortRequest(id, 0, kObjPoll));
  clock.Advance(300);
  EXPECT_EQ(answers, (std::vector<std::pair<std::int64_t, int>>{{0, 0}, {200, 1}}));

  struct Case {
    const char* text;
    std::optional<int> number;
    int late_ms;
  };
  for (const Case& c :
       {Case{"7:200", 7, 200}, Case{"255:0", 255, 0}, Case{"0:10", {}, 0}, Case{"7", {}, 0},
        Case{"7:-1", {}, 0}, Case{"7:60001", {}, 0}, Case{"x:5", {}, 0}, Case{"7:5ms", {}, 0}}) {
    const std::optional<DeviceLateness> late = ParseDeviceLateness(c.text);
    EXPECT_EQ(late.has_value(), c.number.has_value()) << c.text;
    if (late && c.number) {
      EXPECT_EQ(late->device_number, *c.number) << c.text;
      EXPECT_EQ(late->late_ms, c.late_ms) << c.text;
    }
  }
}

}  // namespace
}  // namespace veltrane
