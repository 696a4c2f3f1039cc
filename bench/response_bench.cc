#include <benchmark/benchmark.h>

#include "model/parameter_model.h"
#include "response/response_math.h"

namespace veltrane {
namespace {

// One band row as while dragging: peaking, low shelf, high shelf.
void BM_BandRow(benchmark::State& state) {
  ResponseStore store;
  const int type = static_cast<int>(state.range(0));
  for ([[maybe_unused]] auto _ : state) {
    ComputeBandCurve(store, 17, type, {555, 100}, 20);
    benchmark::DoNotOptimize(store.Row(17).data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_BandRow)->Arg(kPeaking)->Arg(kLowShelf)->Arg(kHighShelf);

// One four-section crossover row: 48 dB Butterworth and Bessel, high-pass and low-pass.
void BM_CrossoverRow(benchmark::State& state) {
  ResponseStore store;
  const int type = static_cast<int>(state.range(0));
  const bool high_pass = state.range(1) != 0;
  for ([[maybe_unused]] auto _ : state) {
    if (high_pass) {
      ComputeHighPassCurve(store, 2, type, 100);
    } else {
      ComputeLowPassCurve(store, 2, type, 200);
    }
    benchmark::DoNotOptimize(store.Row(HighPassRow(2)).data());
    benchmark::DoNotOptimize(store.Row(LowPassRow(2)).data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_CrossoverRow)->Args({9, 1})->Args({11, 1})->Args({9, 0})->Args({11, 0});

// A full parameter set with no flat row: every band off 0 dB, every crossover 48 dB.
void BM_FullRecompute(benchmark::State& state) {
  ParameterModel model;
  for (int b = 0; b < kBandCount; ++b) {
    BandParams& band = model.bands[b];
    band.type = static_cast<std::uint8_t>(b % 3);
    band.peak_gain = b % 2 ? 150 : 90;
    band.shelf_gain = b % 2 ? 90 : 150;
    band.q = static_cast<std::uint8_t>(b);
  }
  for (int ch = 0; ch < kChannelCount; ++ch) {
    model.channels[ch].hp_type = 9 + ch % 3;
    model.channels[ch].hp_freq = 40;
    model.channels[ch].lp_type = 9 + (ch + 1) % 3;
    model.channels[ch].lp_freq = 200;
  }
  ResponseStore store;
  std::array<BandPoint, kBandCount> points = InitialBandPoints();
  for ([[maybe_unused]] auto _ : state) {
    FullRecompute(store, model, points);
    benchmark::DoNotOptimize(store.Row(0).data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_FullRecompute);

}  // namespace
}  // namespace veltrane

BENCHMARK_MAIN();
