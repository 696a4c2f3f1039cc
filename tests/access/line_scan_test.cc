// Scanning a line of simulated processors at 9600 baud on the virtual clock.

#include "access/line_scan.h"

#include <gtest/gtest.h>

#include "protocol/virtual_clock.h"
#include "sim/sim_line.h"
#include "sim/sim_link.h"

namespace veltrane {
namespace {

struct ScanRun {
  std::vector<LineScanEntry> found;
  std::int64_t ms = 0;
  int asked = 0;
};

ScanRun Scan(const std::vector<int>& devices, int first = 1, int last = 256,
             int reply_ms = kDefaultScanReplyMs) {
  VirtualClock clock;
  SimLine line(clock, devices, {.pacing_9600 = true, .keep_log = false, .demo_content = true});
  SimSerialPort port(clock, line);
  LineScanner scanner(clock, port);
  port.SetReceiver([&](std::span<const std::uint8_t> b) { scanner.OnBytes(b); });
  ScanRun run;
  bool done = false;
  EXPECT_TRUE(scanner.Start(
      "line", first, last, reply_ms, [&](int) { ++run.asked; },
      [&](std::vector<LineScanEntry> found) {
        run.found = std::move(found);
        done = true;
      }));
  while (!done && clock.NowMs() < 600000) clock.Advance(10);
  run.ms = clock.NowMs();
  EXPECT_FALSE(port.IsOpen());
  return run;
}

TEST(LineScanTest, FindsEveryProcessorAndOnlyThose) {
  const ScanRun run = Scan({1, 2, 7});
  EXPECT_EQ(run.found, (std::vector<LineScanEntry>{{1, false}, {2, false}, {7, false}}));
  EXPECT_EQ(run.asked, 256);
  // A processor's answer ends its wait early; the empty numbers take the whole wait.
  EXPECT_LE(run.ms, 256 * kDefaultScanReplyMs);
  EXPECT_GE(run.ms, 253 * kDefaultScanReplyMs);
}

TEST(LineScanTest, TwoProcessorsWithOneNumberAreAPossibleDuplicate) {
  const ScanRun run = Scan({2, 5, 2}, 1, 8);
  EXPECT_EQ(run.found, (std::vector<LineScanEntry>{{2, true}, {5, false}}));
}

TEST(LineScanTest, AnEmptyLineTakesExactlyTheWaitsAndFindsNothing) {
  const ScanRun run = Scan({});
  EXPECT_TRUE(run.found.empty());
  EXPECT_LE(run.ms, 256 * kDefaultScanReplyMs + 10);
  // A shorter wait is a shorter scan, and a range asks only its numbers.
  const ScanRun short_run = Scan({3}, 3, 4, 60);
  EXPECT_EQ(short_run.found, (std::vector<LineScanEntry>{{3, false}}));
  EXPECT_EQ(short_run.asked, 2);
}

TEST(LineScanTest, APortThatWillNotOpenScansNothing) {
  VirtualClock clock;
  SimLine line(clock, {1}, {});
  SimSerialPort port(clock, line);
  port.SetOpenFails(true);
  LineScanner scanner(clock, port);
  EXPECT_FALSE(scanner.Start("line", 1, 256, 100, nullptr, nullptr));
  EXPECT_FALSE(scanner.Running());
}

}  // namespace
}  // namespace veltrane
