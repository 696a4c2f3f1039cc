// A scan of all 256 device numbers at 9600 baud on the virtual clock. Counters: the scan's
// length on the line (scan_ms, virtual time) and the floor the wire itself sets
// (wire_floor_ms: every 12-byte poll and every 20-byte answer back to back, 10 bits a
// byte). The benchmark's own time is the program's work for one whole scan.

#include <benchmark/benchmark.h>

#include <vector>

#include "access/line_scan.h"
#include "protocol/virtual_clock.h"
#include "sim/sim_line.h"
#include "sim/sim_link.h"

namespace veltrane {
namespace {

void BM_LineScan256(benchmark::State& state, std::vector<int> devices, int late_device,
                    int reply_ms) {
  std::int64_t scan_ms = 0;
  std::size_t found = 0;
  for (auto _ : state) {
    VirtualClock clock;
    SimLine line(clock, devices, {.pacing_9600 = true, .keep_log = false});
    if (late_device != 0) line.SetLate(late_device, 200);
    SimSerialPort port(clock, line);
    LineScanner scanner(clock, port);
    port.SetReceiver([&](std::span<const std::uint8_t> b) { scanner.OnBytes(b); });
    bool done = false;
    scanner.Start("line", 1, 256, reply_ms, nullptr, [&](std::vector<LineScanEntry> entries) {
      scan_ms = clock.NowMs();
      found = entries.size();
      done = true;
    });
    while (!done) clock.Advance(ScanWaitMs(reply_ms));
  }
  if (found != devices.size()) state.SkipWithError("the scan did not find every processor");
  state.counters["scan_ms"] = static_cast<double>(scan_ms);
  state.counters["wire_floor_ms"] =
      static_cast<double>(12 * 256 + 20 * devices.size()) * kScanMsPerByte;
}

BENCHMARK_CAPTURE(BM_LineScan256, no_processor, std::vector<int>{}, 0, kDefaultScanReplyMs)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LineScan256, processors_1_2_7, std::vector<int>{1, 2, 7}, 0,
                  kDefaultScanReplyMs)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LineScan256, processors_1_2_7_one_200ms_late, std::vector<int>{1, 2, 7}, 1,
                  kDefaultScanReplyMs)
    ->Unit(benchmark::kMillisecond);
// The shortest allowance, for processors that answer at once.
BENCHMARK_CAPTURE(BM_LineScan256, processors_1_2_7_reply_21, std::vector<int>{1, 2, 7}, 0,
                  kMinScanReplyMs)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace veltrane

BENCHMARK_MAIN();
