// The EQ fitter's quality and speed. Before the timings it prints the RMS error of three
// methods side by side on every real measurement and on 20 synthetic rooms, over 20-500 Hz
// and 20-20000 Hz with at most +3 dB of boost: ours (FitEq), (a) free-valued peaking bands
// found by Nelder-Mead and then rounded to the tables and cut back to the limit, and (b) the
// greedy "biggest deviation first". A row where ours is worse than either is marked.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "model/parameter_model.h"
#include "response/complex_response.h"
#include "tuning/eq_fit.h"
#include "tuning/measurement.h"
#include "tuning/prediction.h"
#include "tuning/synthetic_room.h"

namespace veltrane {
namespace {

struct Source {
  std::string name;
  MeasuredResponse response;
};

std::optional<MeasuredResponse> ReadFirstCurve(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  MeasurementRead read = ReadMeasurementText(text.str());
  if (read.problem || read.curves.empty()) return std::nullopt;
  return read.curves.front();
}

// Every measurement file of the shared folder, by name.
std::vector<Source> RealMeasurements() {
  std::vector<Source> sources;
  const std::filesystem::path dir = VELTRANE_MEASUREMENTS_DIR;
  std::error_code error;
  if (!std::filesystem::is_directory(dir, error)) {
    std::printf("No real measurements: %s is missing\n", dir.c_str());
    return sources;
  }
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (!entry.is_regular_file() || entry.path().extension() == ".md") continue;
    if (auto curve = ReadFirstCurve(entry.path())) {
      sources.push_back({entry.path().filename().string(), std::move(*curve)});
    } else {
      std::printf("%s: not readable as a measurement\n", entry.path().c_str());
    }
  }
  std::sort(sources.begin(), sources.end(),
            [](const Source& a, const Source& b) { return a.name < b.name; });
  return sources;
}

std::vector<Source> SyntheticRooms(int count) {
  std::vector<Source> sources;
  for (int seed = 0; seed < count; ++seed) {
    sources.push_back({"synthetic room " + std::to_string(seed), SyntheticRoom(seed)});
  }
  return sources;
}

// Out 1 of a fresh model (flat crossover, bands flat), a flat target.
FitSettings Settings(double high_hz) {
  FitSettings settings;
  settings.low_hz = 20;
  settings.high_hz = high_hz;
  settings.max_boost_db = 3;
  return settings;
}

FitProblem Problem(const MeasuredResponse& measured, const FitSettings& settings) {
  return MakeFitProblem(ParameterModel{}, kOut1, measured, TargetSpec{}, settings);
}

void PrintQualityTable() {
  std::vector<Source> sources = RealMeasurements();
  for (Source& s : SyntheticRooms(20)) sources.push_back(std::move(s));
  std::printf("RMS error in dB against a flat target, max boost +3 dB, 8 free bands\n");
  std::printf("%-46s %-9s %7s %7s %9s %7s\n", "measurement", "range", "before", "ours", "(a) round",
              "(b) greedy");
  int worse = 0;
  for (const double high : {500.0, 20000.0}) {
    for (const Source& source : sources) {
      const FitSettings settings = Settings(high);
      const FitProblem problem = Problem(source.response, settings);
      const FitResult ours = FitEq(problem, settings);
      const FitResult rounded = FitEqRoundedOptimum(problem, settings);
      const FitResult greedy = FitEqGreedy(problem, settings);
      const bool is_worse = ours.rms_after_db > rounded.rms_after_db + 1e-9 ||
                            ours.rms_after_db > greedy.rms_after_db + 1e-9;
      worse += is_worse ? 1 : 0;
      std::printf("%-46s 20-%-6.0f %7.3f %7.3f %9.3f %7.3f%s\n", source.name.c_str(), high,
                  ours.rms_before_db, ours.rms_after_db, rounded.rms_after_db, greedy.rms_after_db,
                  is_worse ? "  <- ours worse" : "");
    }
  }
  std::printf("rows where ours is worse than (a) or (b): %d\n\n", worse);
}

// The sources the timings use: 0 the first real file, 1 the second, 2 a synthetic room.
const MeasuredResponse& TimedSource(int index) {
  static const std::vector<Source> real = RealMeasurements();
  static const MeasuredResponse room = SyntheticRoom(0);
  if (index < static_cast<int>(real.size())) return real[index].response;
  return room;
}

void BM_FitEq(benchmark::State& state) {
  const FitSettings settings = Settings(static_cast<double>(state.range(1)));
  const FitProblem problem = Problem(TimedSource(static_cast<int>(state.range(0))), settings);
  for ([[maybe_unused]] auto _ : state) {
    FitResult result = FitEq(problem, settings);
    benchmark::DoNotOptimize(result);
  }
}
BENCHMARK(BM_FitEq)
    ->ArgNames({"source", "high_hz"})
    ->ArgsProduct({{0, 1, 2}, {500, 20000}})
    ->Unit(benchmark::kMillisecond);

// One drag move: the predicted curve on every column of the graph after a band changed.
void BM_PredictionDragMove(benchmark::State& state) {
  ParameterModel model;
  model.channels[kOut1].hp_freq = 40;
  model.channels[kOut1].hp_type = 9;
  const MeasuredResponse& measured = TimedSource(1);
  const std::vector<double> columns = CurveColumnFrequencies();
  int step = 0;
  for ([[maybe_unused]] auto _ : state) {
    model.bands[BandId(kOut1, 2)].freq = static_cast<std::uint8_t>(60 + step++ % 100);
    std::vector<double> levels = PredictedLevels(model, kOut1, measured, columns);
    benchmark::DoNotOptimize(levels.data());
  }
  state.counters["columns"] = static_cast<double>(columns.size());
}
BENCHMARK(BM_PredictionDragMove)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace veltrane

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  veltrane::PrintQualityTable();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
