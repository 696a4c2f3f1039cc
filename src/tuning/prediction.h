#pragma once

// The measurement with a channel's processing applied, in true dB: what the fit minimises
// and what the graph's predicted curve shows.

#include <span>
#include <vector>

#include "model/parameter_model.h"
#include "response/acoustic_sum.h"
#include "tuning/eq_fit.h"
#include "tuning/target.h"

namespace veltrane {

// measured + the channel's processing (its bands unless bypassed, crossover, gain; a mute
// is left out: a muted channel is shown as it will sound) at each frequency of hz.
std::vector<double> PredictedLevels(const ParameterModel& model, int channel,
                                    const MeasuredResponse& measured, std::span<const double> hz);

// The fit of `channel`: the grid of the settings' range, the measurement and the aligned
// target on it, the channel's processing without its bands, and its bands now.
// The same from the measurement's levels already at hz (a graph's cached columns).
std::vector<double> PredictedLevels(const ParameterModel& model, int channel,
                                    std::span<const double> measured_db,
                                    std::span<const double> hz);

// The model as tuning sees a channel: a mute only hides the channel, so it is left out.
ParameterModel UnmutedModel(const ParameterModel& model, int channel);

FitProblem MakeFitProblem(const ParameterModel& model, int channel,
                          const MeasuredResponse& measured, const TargetSpec& target,
                          const FitSettings& settings);

}  // namespace veltrane
