#include "tuning/prediction.h"

#include <algorithm>
#include <cmath>

#include "model/channels.h"
#include "response/complex_response.h"
#include "tuning/measurement.h"

namespace veltrane {
namespace {

std::vector<double> ProcessingLevels(const ChannelProcessing& processing,
                                     std::span<const double> hz) {
  const std::vector<ComplexPoint> curve = EvaluateCurve(processing, hz);
  std::vector<double> levels(curve.size());
  std::transform(curve.begin(), curve.end(), levels.begin(), LevelDb);
  return levels;
}

std::vector<double> Plus(std::vector<double> a, std::span<const double> b) {
  for (std::size_t i = 0; i < a.size(); ++i) a[i] += b[i];
  return a;
}

}  // namespace

ParameterModel UnmutedModel(const ParameterModel& model, int channel) {
  ParameterModel unmuted = model;
  if (channel >= 0 && channel < kChannelCount) unmuted.channels[channel].mute = 0;
  return unmuted;
}

std::vector<double> PredictedLevels(const ParameterModel& model, int channel,
                                    std::span<const double> measured_db,
                                    std::span<const double> hz) {
  const std::vector<double> processing =
      ProcessingLevels(ChannelProcessingOf(UnmutedModel(model, channel), channel), hz);
  return Plus(std::vector<double>(measured_db.begin(), measured_db.end()), processing);
}

std::vector<double> PredictedLevels(const ParameterModel& model, int channel,
                                    const MeasuredResponse& measured, std::span<const double> hz) {
  const std::vector<double> measured_db = LevelsAt(measured, hz);
  return PredictedLevels(model, channel, measured_db, hz);
}

FitProblem MakeFitProblem(const ParameterModel& model, int channel,
                          const MeasuredResponse& measured, const TargetSpec& target,
                          const FitSettings& settings) {
  FitProblem problem;
  problem.hz = FitGrid(settings.low_hz, settings.high_hz);
  problem.measured_db = LevelsAt(measured, problem.hz);
  const bool known = channel >= 0 && channel < kChannelCount;
  ParameterModel without_bands = UnmutedModel(model, channel);
  if (known) without_bands.channels[channel].eq_bypass = 1;
  problem.fixed_db = ProcessingLevels(ChannelProcessingOf(without_bands, channel), problem.hz);
  // The target is aligned to what the channel gives without its bands, so that the bands
  // are not asked to undo the channel's gain or level; a channel silenced otherwise (a gain
  // the table cannot hold) has no level to align to, and then the measurement is used.
  const std::vector<double> unequalised = Plus(problem.measured_db, problem.fixed_db);
  const bool audible = std::ranges::any_of(unequalised, [](double v) { return std::isfinite(v); });
  problem.target_db = TargetLevels(target, problem.hz, audible ? unequalised : problem.measured_db,
                                   settings.low_hz, settings.high_hz);
  for (int b = 0; b < kBandsPerChannel && known; ++b) {
    problem.bands[b] = model.bands[BandId(channel, b)];
  }
  return problem;
}

}  // namespace veltrane
