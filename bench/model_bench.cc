// Image decode, the cost of one parameter change (model store, block rebuild, slot mark),
// and what the edit history adds to a drag: nothing per move, one step at its end.

#include <benchmark/benchmark.h>

#include "model/blocks.h"
#include "model/edit_history.h"
#include "model/image_codec.h"
#include "protocol/engine.h"
#include "protocol/virtual_clock.h"
#include "bench_support.h"

namespace veltrane {
namespace {

void BM_ImageDecode(benchmark::State& state) {
  ParameterModel source;
  source.bands[5].freq = 100;
  const std::string text = EncodeParameterImage(source);
  ParameterModel model;
  for (auto _ : state) {
    benchmark::DoNotOptimize(DecodeParameterImage(text, model));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_ImageDecode);

void BM_ParameterChange(benchmark::State& state) {
  VirtualClock clock;
  ParameterModel model;
  SilentConnectionView view;
  NullSerial serial;
  ProtocolEngine engine(clock, model, view);
  engine.SetSerialPort(&serial);
  engine.SelectPort("null", 1);
  engine.ConnectButtonClicked();
  clock.Advance(100);
  std::uint8_t gain = 0;
  const long before = g_allocations.load();
  for (auto _ : state) {
    model.channels[kInA].gain = gain++ % 241;  // store
    SendChannelBlock(model, kInA, engine);     // rebuild the 20 bytes and mark the slot
    benchmark::ClobberMemory();
  }
  state.counters["allocations"] = static_cast<double>(g_allocations.load() - before);
  if (!engine.SlotPending(1)) state.SkipWithError("slot 1 was not marked");
}
BENCHMARK(BM_ParameterChange);

// One move of a drag with the history listening: the move's own edit nests in the drag's,
// so the history neither copies nor allocates until the mouse comes up.
void BM_HistoryDragMove(benchmark::State& state) {
  VirtualClock clock;
  ParameterModel model;
  SilentConnectionView view;
  ProtocolEngine engine(clock, model, view);  // not connected: the builders build nothing
  EditHistory history(model);
  history.SetOutlets(&engine, nullptr);
  history.BeginEdit();  // mouse down
  std::uint8_t freq = 0;
  const long before = g_allocations.load();
  for (auto _ : state) {
    const EditHistory::Scope move(&history);
    model.bands[20].freq = freq++ % 241;
    SendEqBandBlock(model, 20, engine);
    benchmark::ClobberMemory();
  }
  state.counters["allocations"] = static_cast<double>(g_allocations.load() - before);
  history.EndEdit();  // mouse up
  if (history.UndoCount() != 1) state.SkipWithError("the drag is not one step");
}
BENCHMARK(BM_HistoryDragMove);

// Mouse up after a drag: the step is recorded (one allocation for it).
void BM_HistoryRecordStep(benchmark::State& state) {
  ParameterModel model;
  EditHistory history(model);
  std::uint8_t freq = 0;
  const long before = g_allocations.load();
  for (auto _ : state) {
    history.BeginEdit();
    model.bands[20].freq = freq++ % 241;
    history.EndEdit();
  }
  state.counters["allocations_per_step"] = benchmark::Counter(
      static_cast<double>(g_allocations.load() - before), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_HistoryRecordStep);

}  // namespace
}  // namespace veltrane

BENCHMARK_MAIN();
