#include <benchmark/benchmark.h>

#include <array>

#include "model/parameter_model.h"
#include "response/alignment.h"
#include "response/complex_response.h"
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

// A three-way speaker with every band in use: the worst case for the complex views.
ParameterModel BusyThreeWay() {
  ParameterModel model;
  for (int b = 0; b < kBandCount; ++b) {
    BandParams& band = model.bands[b];
    band.type = static_cast<std::uint8_t>(b % 3);
    band.peak_gain = band.shelf_gain = b % 2 ? 130 : 110;
    band.q = static_cast<std::uint8_t>(b);
  }
  for (int ch = 0; ch < kChannelCount; ++ch) {
    model.channels[ch].hp_type = model.channels[ch].lp_type = 9 + ch % 3;
    model.channels[ch].hp_freq = 20;
    model.channels[ch].lp_freq = 220;
  }
  model.channels[kOut1].hp_freq = 160;  // H_OUT from 2 kHz
  model.channels[kOut2].lp_freq = 160;  // M_OUT 250 Hz .. 2 kHz
  model.channels[kOut2].hp_freq = 88;
  model.channels[kOut3].lp_freq = 88;  // L_OUT up to 250 Hz
  for (int out = kOut1; out <= kOut4; ++out) model.Output(out).route = 3;
  return model;
}

// The phase view: phase and group delay of all six channels at every column.
void BM_PhaseViewRecompute(benchmark::State& state) {
  const ParameterModel model = BusyThreeWay();
  const FrequencyGrid hz(CurveColumnFrequencies());
  std::vector<double> phase(hz.size()), delay(hz.size());
  for ([[maybe_unused]] auto _ : state) {
    for (int ch = 0; ch < kChannelCount; ++ch) {
      const std::vector<ComplexPoint> curve = EvaluateCurve(ChannelProcessingOf(model, ch), hz);
      for (std::size_t i = 0; i < hz.size(); ++i) {
        phase[i] = PhaseDegrees(curve[i]);
        delay[i] = GroupDelayMs(curve[i]);
      }
      benchmark::DoNotOptimize(phase.data());
      benchmark::DoNotOptimize(delay.data());
    }
  }
}
BENCHMARK(BM_PhaseViewRecompute)->Unit(benchmark::kMicrosecond);

// The sum view: H_OUT, M_OUT and L_OUT through both inputs, each and their sum, as levels.
void BM_SumViewRecompute(benchmark::State& state) {
  const ParameterModel model = BusyThreeWay();
  const FrequencyGrid hz(CurveColumnFrequencies());
  const std::array<int, 3> outputs = {kOut1, kOut2, kOut3};
  std::vector<double> level(hz.size());
  for ([[maybe_unused]] auto _ : state) {
    const OutputCurves curves = ComputeOutputCurves(model, outputs, hz);
    for (const auto& curve : curves.each) {
      for (std::size_t i = 0; i < hz.size(); ++i) level[i] = LevelDb(curve[i]);
      benchmark::DoNotOptimize(level.data());
    }
    for (std::size_t i = 0; i < hz.size(); ++i) level[i] = LevelDb(curves.sum[i]);
    benchmark::DoNotOptimize(level.data());
  }
}
BENCHMARK(BM_SumViewRecompute)->Unit(benchmark::kMicrosecond);

// The alignment search of one pair: 2 x 2 x 961 candidates over an octave.
void BM_AlignmentSearch(benchmark::State& state) {
  const ParameterModel model = BusyThreeWay();
  const int second = static_cast<int>(state.range(0));
  for ([[maybe_unused]] auto _ : state) {
    const AlignmentResult result = SuggestAlignment(model, second - 1, second);
    benchmark::DoNotOptimize(result.suggestion);
  }
}
BENCHMARK(BM_AlignmentSearch)->Arg(kOut2)->Arg(kOut3)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace veltrane

BENCHMARK_MAIN();
