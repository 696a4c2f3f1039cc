// veltrane-ctl's backup and restore on the virtual clock against a processor paced like a
// 9600-baud line: the virtual time a run takes is the floor the protocol's own pacing sets
// (the 1.2 s requests, the 1.05 s slots, the answers on the wire); the CPU time is what the
// program adds. Compare a real run's wall time with `paced_floor_ms`.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>

#include "cli/command_line.h"
#include "cli/session.h"
#include "sim/simulator.h"
#include "cli/virtual_ctl.h"

namespace veltrane {
namespace {

const std::string kFile =
    (std::filesystem::temp_directory_path() / "veltrane-ctl-bench-backup.txt").string();

void RunCommand(benchmark::State& state, const std::vector<std::string>& args) {
  VirtualCtlEnvironment<Simulator> env("sim", SimOptions{.pacing_9600 = true, .demo_content = true});
  if (!std::filesystem::exists(kFile)) {
    RunVirtualCtl<CtlSession>(env, {"backup", kFile}, 120'000, 2000);
  }
  std::int64_t virtual_ms = 0;
  for (auto _ : state) {
    const CtlRun run = RunVirtualCtl<CtlSession>(env, args, 120'000, 2000);
    if (run.code != kExitDone) state.SkipWithError(run.err.c_str());
    virtual_ms = run.ms;
  }
  state.counters["paced_floor_ms"] = static_cast<double>(virtual_ms);
}

void BM_CtlBackup(benchmark::State& state) { RunCommand(state, {"backup", kFile}); }
void BM_CtlRestore(benchmark::State& state) { RunCommand(state, {"restore", kFile}); }
void BM_CtlRestoreNoVerify(benchmark::State& state) {
  RunCommand(state, {"restore", kFile, "--no-verify"});
}

BENCHMARK(BM_CtlBackup)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CtlRestore)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CtlRestoreNoVerify)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace veltrane

BENCHMARK_MAIN();
