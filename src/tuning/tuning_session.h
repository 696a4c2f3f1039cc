#pragma once

// The measurements of a session kept beside a preset file, in a small JSON file of ours
// ("<preset file>.measurements.json"), so that reopening a tuning brings them back. The
// preset file itself does not change.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/channels.h"
#include "response/acoustic_sum.h"
#include "tuning/measurement.h"
#include "tuning/target.h"

namespace veltrane {

struct ChannelMeasurement {
  std::vector<std::string> sources;  // the files averaged, as the user chose them
  MeasuredResponse averaged;         // unsmoothed
  Smoothing smoothing;
};

struct TuningSession {
  std::array<std::optional<ChannelMeasurement>, kChannelCount> channels;
  TargetSpec target;
};

std::string TuningSessionPath(std::string_view preset_path);

std::string WriteTuningSession(const TuningSession& session);

struct TuningSessionRead {
  std::optional<TuningSession> session;
  std::string error;  // set when session is empty: what is wrong with the text
};
TuningSessionRead ReadTuningSession(std::string_view text);

}  // namespace veltrane
