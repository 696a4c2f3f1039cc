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

struct ScanSetup {
  int first = 1;
  int last = 256;
  int reply_ms = kDefaultScanReplyMs;
  std::function<void(SimLine&)> misbehave = nullptr;
};

ScanRun Scan(const std::vector<int>& devices, const ScanSetup& setup = {}) {
  VirtualClock clock;
  SimLine line(clock, devices, {.pacing_9600 = true, .keep_log = false, .demo_content = true});
  if (setup.misbehave) setup.misbehave(line);
  SimSerialPort port(clock, line);
  LineScanner scanner(clock, port);
  port.SetReceiver([&](std::span<const std::uint8_t> b) { scanner.OnBytes(b); });
  ScanRun run;
  bool done = false;
  EXPECT_TRUE(scanner.Start(
      "line", setup.first, setup.last, setup.reply_ms, [&](int) { ++run.asked; },
      [&](std::vector<LineScanEntry> found) {
        run.found = std::move(found);
        done = true;
      }));
  while (!done && clock.NowMs() < 600000) clock.Advance(1);
  run.ms = clock.NowMs();
  EXPECT_FALSE(port.IsOpen());
  return run;
}

const std::vector<LineScanEntry> kOneTwoSeven{{1, false}, {2, false}, {7, false}};

TEST(LineScanTest, FindsEveryProcessorAndOnlyThose) {
  const ScanRun run = Scan({1, 2, 7});
  EXPECT_EQ(run.found, kOneTwoSeven);
  EXPECT_EQ(run.asked, 256);
  // A processor's answer ends its wait early; the empty numbers take the whole wait.
  EXPECT_LE(run.ms, 256 * ScanWaitMs(kDefaultScanReplyMs));
  EXPECT_GE(run.ms, 253 * ScanWaitMs(kDefaultScanReplyMs));
}

// A late answer belongs to the number it carries, even when it arrives in the next
// number's wait, and the next number is neither found nor called a duplicate for it.
TEST(LineScanTest, ALateProcessorIsFoundAtItsOwnNumberOnly) {
  struct Case {
    int late_device;
    int late_ms;
    int reply_ms;
  };
  for (const Case c : {Case{1, 200, kDefaultScanReplyMs}, Case{2, 200, kDefaultScanReplyMs},
                       Case{7, 200, kDefaultScanReplyMs}, Case{1, 100, 50}, Case{7, 100, 50},
                       Case{2, 60, kMinScanReplyMs}}) {
    const ScanRun run =
        Scan({1, 2, 7},
             {.first = 1, .last = 10, .reply_ms = c.reply_ms, .misbehave = [&](SimLine& line) {
                line.SetLate(c.late_device, c.late_ms);
              }});
    EXPECT_EQ(run.found, kOneTwoSeven)
        << "device " << c.late_device << " " << c.late_ms << " ms late, reply " << c.reply_ms;
  }
}

TEST(LineScanTest, TwoProcessorsWithOneNumberAreAPossibleDuplicate) {
  // Answering together, they garble each other.
  EXPECT_EQ(Scan({2, 5, 2}, {.first = 1, .last = 8}).found,
            (std::vector<LineScanEntry>{{2, true}, {5, false}}));
  // One of them slower: two sound answers for one number.
  const ScanRun apart = Scan({2, 5, 2}, {.first = 1, .last = 8, .misbehave = [](SimLine& line) {
                                           line.Device(2).options().late_ms = 100;
                                         }});
  EXPECT_EQ(apart.found, (std::vector<LineScanEntry>{{2, true}, {5, false}}));
}

TEST(LineScanTest, AnAnswerStillArrivingAfterTheLastWaitIsHeardOut) {
  // Number 8's answer begins in its wait and ends after it.
  const ScanRun run = Scan(
      {8}, {.first = 1, .last = 8, .reply_ms = kMinScanReplyMs, .misbehave = [](SimLine& line) {
              line.SetLate(8, 20);
            }});
  EXPECT_EQ(run.found, (std::vector<LineScanEntry>{{8, false}}));
}

TEST(LineScanTest, AnEmptyLineTakesExactlyTheWaitsAndFindsNothing) {
  const ScanRun run = Scan({});
  EXPECT_TRUE(run.found.empty());
  EXPECT_EQ(run.ms, 256 * ScanWaitMs(kDefaultScanReplyMs));
  // A shorter wait is a shorter scan, and a range asks only its numbers.
  const ScanRun short_run = Scan({3}, {.first = 3, .last = 4, .reply_ms = 60});
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
