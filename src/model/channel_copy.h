#pragma once

// Copying the settings of one channel to others, by part: two tops tuned alike are tuned
// once. The limiter exists on outputs only, so it is copied only from an output to an output.

#include "model/parameter_model.h"

namespace veltrane {

struct CopyParts {
  bool eq = false;          // the eight bands and the EQ bypass
  bool crossover = false;   // high-pass and low-pass, frequency and type
  bool gain_delay = false;  // channel gain and delay
  bool limiter = false;     // threshold, attack, release, ratio

  bool Any() const { return eq || crossover || gain_delay || limiter; }
};

// Copies the chosen parts of channel `from` onto channel `to`; the same channel, or a
// channel out of range, changes nothing.
void CopyChannelParts(ParameterModel& model, int from, int to, CopyParts parts);

}  // namespace veltrane
