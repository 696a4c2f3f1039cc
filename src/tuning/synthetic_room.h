#pragma once

// Made-up but plausible in-room responses for property tests and benchmarks: a speaker's
// low-frequency roll-off, a baffle step, room modes (narrow peaks and dips) and ripple,
// all drawn from a seed so that every run sees the same rooms.

#include <cstdint>

#include "response/acoustic_sum.h"

namespace veltrane {

struct SyntheticRoomOptions {
  double low_hz = 10;
  double high_hz = 24000;
  int points_per_octave = 96;
  double mean_spl_db = 85;
  bool with_phase = false;
};

MeasuredResponse SyntheticRoom(std::uint32_t seed, const SyntheticRoomOptions& options = {});

}  // namespace veltrane
