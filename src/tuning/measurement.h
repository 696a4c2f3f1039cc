#pragma once

// Measured responses as measurement programs export them: a frequency column, a level
// column in dB and, optionally, a phase column in degrees. Several microphone positions
// are averaged by power, and the result is smoothed for display and for the fit.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "response/acoustic_sum.h"

namespace veltrane {

// Larger files are refused before they are read (the callers ask their file store for at
// most this many bytes).
inline constexpr std::size_t kMaxMeasurementFileBytes = 4 * 1024 * 1024;

enum class MeasurementError {
  kTooLarge,      // over kMaxMeasurementFileBytes
  kNoNumbers,     // no line holds a frequency and a level
  kTooFewPoints,  // fewer than two usable points
  kNotRising,     // a frequency not above the one before it (descending or duplicate)
  kNotFinite,     // NaN or infinity in a number
  kBadLine,       // a data line that breaks off or holds something that is not a number
};

// What is wrong and where: line is 1-based, 0 when the whole file is meant. `message` is
// the text shown to the user, for example "line 14: 120 Hz does not rise above 125 Hz".
struct MeasurementProblem {
  MeasurementError error = MeasurementError::kBadLine;
  int line = 0;
  std::string message;
};

// One curve per frequency / level pair of columns (most files have one). A phase column
// that is all zeros is no phase (has_phase false). A 0 Hz row is dropped.
//
// Lines starting with '*' or '#', and lines whose first field is not a number (titles,
// units, dates), are skipped wherever they are. The first line that holds only numbers, in a
// count that divides into curves, starts the data and fixes its columns: two are frequency
// and level, three add phase; side by side, an even count that is no multiple of three is
// pairs, an odd multiple of three is triples, and when both fit (6, 12) the fourth column
// repeating the first one's frequency on that line means triples. From there a line that
// starts with a number must be whole; a curve beside a longer one may end early (its columns
// empty or missing). The file's decimal mark is the one most of its numbers end with.
struct MeasurementRead {
  std::vector<MeasuredResponse> curves;
  std::optional<MeasurementProblem> problem;  // set: curves is empty
};

// Takes time in proportion to the text, however long; numbers read the same in any locale.
MeasurementRead ReadMeasurementText(std::string_view text);

// What a caller reports when its file store refused a file over kMaxMeasurementFileBytes.
MeasurementProblem TooLargeMeasurementProblem();

// Several positions of one channel: levels averaged by power on a common log-spaced grid
// (96 points per octave over the range all of them cover); phase is kept only when there is
// one position with phase. One position comes back as it is; positions that share no range
// give an empty response.
MeasuredResponse PowerAverage(std::span<const MeasuredResponse> positions);

enum class SmoothingKind { kNone, kFractionalOctave, kVariable };
struct Smoothing {
  SmoothingKind kind = SmoothingKind::kNone;
  int fraction = 6;  // kFractionalOctave: 1/fraction octave, fraction in 1..48
  friend bool operator==(const Smoothing&, const Smoothing&) = default;
};

// 1/N octave: each level becomes the power average of the levels within +-1/(2N) octave of
// it (N is clamped to 1..48). Variable smoothing is narrow at low frequencies, where room
// modes must stay visible, and wider above: 1/48 octave up to 100 Hz, 1/12 at 1 kHz, 1/3 from
// 10 kHz, the width growing geometrically in between. Frequencies and phase stay as they are.
MeasuredResponse Smooth(const MeasuredResponse& response, Smoothing smoothing);

// Levels at the frequencies asked, interpolated linearly in log frequency and held at the
// measured ends outside the measured range (0 dB everywhere for an empty response).
std::vector<double> LevelsAt(const MeasuredResponse& response, std::span<const double> hz);

}  // namespace veltrane
