#pragma once

// The measurements of a session kept beside a preset file, in a small JSON file of ours
// ("<preset file>.measurements.json"), so that reopening a tuning brings them back. The
// preset file itself does not change.

#include <array>
#include <cstddef>
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

// Callers read the file with at most this many bytes: six channels of a long linear export
// (16384 points each) and a target file fit well within it.
inline constexpr std::size_t kMaxTuningSessionFileBytes = 16 * 1024 * 1024;

// "/a/b/show.txt" -> "/a/b/show.txt.measurements.json".
std::string TuningSessionPath(std::string_view preset_path);

// The channels with a measurement, by the names veltrane-ctl uses ("out1"), their points as
// [Hz, dB] or [Hz, dB, degrees]; every number in the shortest form that reads back exactly.
std::string WriteTuningSession(const TuningSession& session);

struct TuningSessionRead {
  std::optional<TuningSession> session;
  std::string error;  // set when session is empty: what is wrong with the text
};
// Refuses anything but a whole, well-formed file of ours: bad JSON (with its line), another
// format or version, unknown names, points that are not rising frequencies above 0.
TuningSessionRead ReadTuningSession(std::string_view text);

}  // namespace veltrane
