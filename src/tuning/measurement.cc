#include "tuning/measurement.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <iterator>
#include <limits>
#include <string>
#include <utility>

#include "model/tables.h"
#include "response/complex_response.h"
#include "tuning/measurement_text.h"

namespace veltrane {
namespace {

using measurement_text::FieldList;
using measurement_text::LastDecimalMark;
using measurement_text::LineReader;
using measurement_text::LooksLikeNumber;
using measurement_text::NumberStatus;
using measurement_text::ParsedNumber;
using measurement_text::ParseNumber;
using measurement_text::Printable;
using measurement_text::SplitFields;
using measurement_text::TextLine;
using measurement_text::Trim;

// Measurement programs start their comment lines with '*' or '#'.
bool IsComment(std::string_view line) {
  return !line.empty() && (line.front() == '*' || line.front() == '#');
}

// Levels, phases and frequencies of one column group per curve on one line.
struct Row {
  double hz = 0;
  double level_db = 0;
  double phase_deg = 0;
};

// Columns of the data: two per curve (frequency, level) or three (with phase).
struct Layout {
  std::size_t group = 2;
  std::size_t curves = 1;
};

// Two columns are one curve without phase, three one curve with phase. Side by side: an even
// count that is no multiple of three is pairs, an odd multiple of three is triples; when both
// fit (6, 12 columns) the fourth column repeating the first line's frequency means triples.
std::optional<Layout> LayoutOf(const FieldList& fields, bool decimal_comma) {
  const std::size_t n = fields.size();
  if (n < 2) return std::nullopt;
  const bool pairs = n % 2 == 0;
  const bool triples = n % 3 == 0;
  if (pairs && triples) {
    const bool shared =
        ParseNumber(fields[3], decimal_comma).value == ParseNumber(fields[0], decimal_comma).value;
    return shared ? Layout{3, n / 3} : Layout{2, n / 2};
  }
  if (pairs) return Layout{2, n / 2};
  if (triples) return Layout{3, n / 3};
  return std::nullopt;
}

bool AllNumbers(const FieldList& fields) {
  return std::all_of(fields.begin(), fields.end(), LooksLikeNumber);
}

std::string LinePrefix(int line) { return "line " + std::to_string(line) + ": "; }

MeasurementProblem Problem(MeasurementError error, int line, std::string reason) {
  return {error, line, line > 0 ? LinePrefix(line) + reason : std::move(reason)};
}

struct CurveState {
  MeasuredResponse response;
  bool any_phase = false;
};

// Reads the data lines once the layout is known and builds one curve per column group.
class CurveBuilder {
 public:
  CurveBuilder(Layout layout, bool decimal_comma)
      : layout_(layout), decimal_comma_(decimal_comma), curves_(layout.curves) {
    for (CurveState& curve : curves_) curve.response.has_phase = layout.group == 3;
  }

  std::optional<MeasurementProblem> Add(const FieldList& fields, int line) {
    const std::size_t columns = layout_.group * layout_.curves;
    if (fields.size() > columns) {
      return Problem(
          MeasurementError::kBadLine, line,
          std::to_string(fields.size()) + " columns where the data has " + std::to_string(columns));
    }
    for (std::size_t k = 0; k < layout_.curves; ++k) {
      if (auto problem = AddGroup(fields, k, line)) return problem;
    }
    return std::nullopt;
  }

  MeasurementRead Finish() {
    MeasurementRead read;
    for (std::size_t k = 0; k < curves_.size(); ++k) {
      if (curves_[k].response.points.size() < 2) {
        std::string which = curves_.size() > 1 ? "curve " + std::to_string(k + 1) : "the file";
        read.problem = Problem(MeasurementError::kTooFewPoints, 0,
                               which + " holds fewer than two points; a response needs more");
        read.curves.clear();
        return read;
      }
      curves_[k].response.has_phase = curves_[k].any_phase;
      read.curves.push_back(std::move(curves_[k].response));
    }
    return read;
  }

 private:
  std::optional<MeasurementProblem> AddGroup(const FieldList& fields, std::size_t k, int line);
  std::optional<MeasurementProblem> AddRow(CurveState& curve, const Row& row, int line);

  Layout layout_;
  bool decimal_comma_;
  std::vector<CurveState> curves_;
};

std::optional<MeasurementProblem> CurveBuilder::AddGroup(const FieldList& fields, std::size_t k,
                                                         int line) {
  const std::size_t first = k * layout_.group;
  std::size_t present = 0;
  for (std::size_t c = first; c < first + layout_.group && c < fields.size(); ++c) {
    if (!fields[c].empty()) ++present;
  }
  // A shorter curve beside a longer one simply ends; a single curve must be whole.
  if (present == 0 && layout_.curves > 1) return std::nullopt;
  std::array<double, 3> values{};
  for (std::size_t c = first; c < first + layout_.group; ++c) {
    if (c >= fields.size() || fields[c].empty()) {
      return Problem(MeasurementError::kBadLine, line,
                     "the line breaks off: column " + std::to_string(c + 1) + " is missing");
    }
    const ParsedNumber number = ParseNumber(fields[c], decimal_comma_);
    if (number.status == NumberStatus::kNotNumber) {
      return Problem(MeasurementError::kBadLine, line,
                     "\"" + Printable(fields[c]) + "\" is not a number");
    }
    if (number.status == NumberStatus::kNotFinite) {
      return Problem(MeasurementError::kNotFinite, line,
                     "\"" + Printable(fields[c]) + "\" is not a finite number");
    }
    values[c - first] = number.value;
  }
  return AddRow(curves_[k], {values[0], values[1], values[2]}, line);
}

std::optional<MeasurementProblem> CurveBuilder::AddRow(CurveState& curve, const Row& row,
                                                       int line) {
  std::vector<MeasuredPoint>& points = curve.response.points;
  // Some programs start at DC; a level at 0 Hz means nothing on a log axis.
  if (points.empty() && row.hz == 0) return std::nullopt;
  if (row.hz <= 0) {
    return Problem(MeasurementError::kBadLine, line,
                   FormatShortest(row.hz) + " Hz is not a frequency above 0");
  }
  if (!points.empty() && row.hz <= points.back().hz) {
    const std::string before = FormatShortest(points.back().hz);
    return Problem(MeasurementError::kNotRising, line,
                   row.hz == points.back().hz
                       ? before + " Hz comes twice; frequencies must rise from line to line"
                       : FormatShortest(row.hz) + " Hz does not rise above " + before + " Hz");
  }
  if (row.phase_deg != 0) curve.any_phase = true;
  points.push_back({row.hz, row.level_db, row.phase_deg});
  return std::nullopt;
}

struct DataLine {
  std::string_view text;
  int number = 0;
};

// The lines whose first field is a number, and whether the file writes decimal commas.
struct DataLines {
  std::vector<DataLine> lines;
  bool decimal_comma = false;
};

DataLines FindDataLines(std::string_view text) {
  DataLines data;
  LineReader reader(text);
  FieldList fields;
  long comma_marks = 0;
  long dot_marks = 0;
  while (const std::optional<TextLine> line = reader.Next()) {
    const std::string_view trimmed = Trim(line->text);
    if (trimmed.empty() || IsComment(trimmed)) continue;
    SplitFields(trimmed, &fields);
    // A header line (titles, units, dates) is anything that does not start with a number;
    // leading empty fields are a curve side by side that has ended (";;40;81").
    const auto first = std::find_if(fields.begin(), fields.end(),
                                    [](std::string_view field) { return !field.empty(); });
    if (first == fields.end() || !LooksLikeNumber(*first)) continue;
    data.lines.push_back({trimmed, line->number});
    for (const std::string_view field : fields) {
      const char mark = LastDecimalMark(field);
      if (mark == ',') ++comma_marks;
      if (mark == '.') ++dot_marks;
    }
  }
  data.decimal_comma = comma_marks > dot_marks;
  return data;
}

}  // namespace

MeasurementRead ReadMeasurementText(std::string_view text) {
  if (const std::optional<std::string> utf8 = measurement_text::FromUtf16(text)) {
    return ReadMeasurementText(*utf8);
  }
  const DataLines data = FindDataLines(text);
  std::optional<CurveBuilder> builder;
  FieldList fields;
  for (const DataLine& line : data.lines) {
    SplitFields(line.text, &fields);
    if (!builder) {
      // Before the data, a line that starts with a number but is no data line is a header
      // (a point count, a sampling rate).
      if (!AllNumbers(fields)) continue;
      const std::optional<Layout> layout = LayoutOf(fields, data.decimal_comma);
      if (!layout) continue;
      builder.emplace(*layout, data.decimal_comma);
    }
    if (auto problem = builder->Add(fields, line.number)) return {{}, std::move(problem)};
  }
  if (!builder) {
    return {{},
            Problem(MeasurementError::kNoNumbers, 0,
                    "no line holds a frequency and a level; is this a measurement export?")};
  }
  return builder->Finish();
}

namespace {

bool IsUsable(const MeasuredPoint& p) {
  return p.hz > 0 && std::isfinite(p.hz) && std::isfinite(p.level_db) && std::isfinite(p.phase_deg);
}

// The points that carry a level, rising in frequency, one per frequency.
std::vector<MeasuredPoint> UsablePoints(const MeasuredResponse& response) {
  std::vector<MeasuredPoint> points;
  points.reserve(response.points.size());
  std::copy_if(response.points.begin(), response.points.end(), std::back_inserter(points),
               IsUsable);
  const auto by_hz = [](const MeasuredPoint& a, const MeasuredPoint& b) { return a.hz < b.hz; };
  if (!std::is_sorted(points.begin(), points.end(), by_hz)) {
    std::stable_sort(points.begin(), points.end(), by_hz);
  }
  const auto same_hz = [](const MeasuredPoint& a, const MeasuredPoint& b) { return a.hz == b.hz; };
  points.erase(std::unique(points.begin(), points.end(), same_hz), points.end());
  return points;
}

// The response's own points when they are usable as they are (what the reader, the average
// and the smoothing give), otherwise a cleaned copy kept in storage: the graph asks for
// levels on every drag move.
std::span<const MeasuredPoint> UsableView(const MeasuredResponse& response,
                                          std::vector<MeasuredPoint>* storage) {
  const std::vector<MeasuredPoint>& points = response.points;
  bool usable = std::all_of(points.begin(), points.end(), IsUsable);
  for (std::size_t i = 1; usable && i < points.size(); ++i) {
    usable = points[i - 1].hz < points[i].hz;
  }
  if (usable) return points;
  *storage = UsablePoints(response);
  return *storage;
}

double PowerOf(double level_db) { return std::pow(10.0, level_db / 10); }

// Half the width of the smoothing window in octaves at hz.
double HalfWidthOctaves(Smoothing smoothing, double hz) {
  if (smoothing.kind == SmoothingKind::kFractionalOctave) {
    return 0.5 / std::clamp(smoothing.fraction, 1, 48);
  }
  // Variable: 1/48 octave up to 100 Hz, where room modes must stay visible, widening
  // geometrically with frequency to 1/12 at 1 kHz and 1/3 from 10 kHz, where reflections
  // make fine detail depend on the microphone's exact place.
  constexpr double kNarrow = 1.0 / 48;
  constexpr double kWide = 1.0 / 3;
  const double decades = std::clamp(std::log10(hz / 100), 0.0, 2.0);
  return 0.5 * kNarrow * std::pow(kWide / kNarrow, decades / 2);
}

}  // namespace

MeasuredResponse PowerAverage(std::span<const MeasuredResponse> positions) {
  std::vector<std::vector<MeasuredPoint>> usable;
  for (const MeasuredResponse& position : positions) {
    std::vector<MeasuredPoint> points = UsablePoints(position);
    if (!points.empty()) usable.push_back(std::move(points));
  }
  if (usable.empty()) return {};
  if (usable.size() == 1) {
    return {std::move(usable.front()), positions.size() == 1 && positions.front().has_phase};
  }
  double low_hz = 0;
  double high_hz = std::numeric_limits<double>::infinity();
  for (const std::vector<MeasuredPoint>& points : usable) {
    low_hz = std::max(low_hz, points.front().hz);
    high_hz = std::min(high_hz, points.back().hz);
  }
  if (!(low_hz < high_hz)) return {};
  std::vector<double> hz = LogFrequencies(low_hz, high_hz, 96);
  if (hz.back() < high_hz * (1 - 1e-9)) hz.push_back(high_hz);
  std::vector<std::vector<double>> levels;
  for (std::vector<MeasuredPoint>& points : usable) {
    levels.push_back(LevelsAt({std::move(points), false}, hz));
  }
  MeasuredResponse average;
  average.points.reserve(hz.size());
  for (std::size_t i = 0; i < hz.size(); ++i) {
    // Powers relative to the loudest position here cannot overflow.
    double top_db = levels.front()[i];
    for (const std::vector<double>& position : levels) top_db = std::max(top_db, position[i]);
    double power = 0;
    for (const std::vector<double>& position : levels) power += PowerOf(position[i] - top_db);
    average.points.push_back({hz[i], top_db + 10 * std::log10(power / levels.size()), 0});
  }
  return average;
}

// A power average over the points inside each point's window, from prefix sums of power
// (in long double, so that a quiet stretch beside a loud one keeps its digits); the window's
// edges only move up with frequency, so one pass does it.
MeasuredResponse Smooth(const MeasuredResponse& response, Smoothing smoothing) {
  MeasuredResponse out{UsablePoints(response), response.has_phase};
  if (smoothing.kind == SmoothingKind::kNone || out.points.empty()) return out;
  const std::vector<MeasuredPoint>& points = out.points;
  const std::size_t n = points.size();
  // Levels relative to the loudest keep the powers between 0 and 1.
  double top_db = points.front().level_db;
  for (const MeasuredPoint& p : points) top_db = std::max(top_db, p.level_db);
  std::vector<long double> prefix(n + 1, 0.0L);
  for (std::size_t i = 0; i < n; ++i) {
    prefix[i + 1] = prefix[i] + PowerOf(points[i].level_db - top_db);
  }
  std::vector<double> smoothed(n);
  std::size_t lo = 0;
  std::size_t hi = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const double ratio = std::exp2(HalfWidthOctaves(smoothing, points[i].hz));
    while (points[lo].hz < points[i].hz / ratio) ++lo;
    while (lo > 0 && points[lo - 1].hz >= points[i].hz / ratio) --lo;
    hi = std::max(hi, i + 1);
    while (hi < n && points[hi].hz <= points[i].hz * ratio) ++hi;
    while (hi > i + 1 && points[hi - 1].hz > points[i].hz * ratio) --hi;
    const long double mean = (prefix[hi] - prefix[lo]) / static_cast<long double>(hi - lo);
    // A window hundreds of dB below the loudest point has no power left to average.
    smoothed[i] =
        mean > 0 ? top_db + 10 * std::log10(static_cast<double>(mean)) : points[i].level_db;
  }
  for (std::size_t i = 0; i < n; ++i) out.points[i].level_db = smoothed[i];
  return out;
}

std::vector<double> LevelsAt(const MeasuredResponse& response, std::span<const double> hz) {
  std::vector<MeasuredPoint> storage;
  const std::span<const MeasuredPoint> points = UsableView(response, &storage);
  std::vector<double> levels(hz.size(), 0.0);
  if (points.empty()) return levels;
  for (std::size_t i = 0; i < hz.size(); ++i) {
    const double f = hz[i];
    if (!(f > points.front().hz)) {
      levels[i] = points.front().level_db;
    } else if (!(f < points.back().hz)) {
      levels[i] = points.back().level_db;
    } else {
      const auto above =
          std::upper_bound(points.begin(), points.end(), f,
                           [](double x, const MeasuredPoint& p) { return x < p.hz; });
      const MeasuredPoint& a = *(above - 1);
      const MeasuredPoint& b = *above;
      const double t = std::log(f / a.hz) / std::log(b.hz / a.hz);
      levels[i] = a.level_db + t * (b.level_db - a.level_db);
    }
  }
  return levels;
}

MeasurementProblem TooLargeMeasurementProblem() {
  return {MeasurementError::kTooLarge, 0,
          "the file is larger than " + std::to_string(kMaxMeasurementFileBytes / (1024 * 1024)) +
              " MB; a measurement export is far smaller"};
}

}  // namespace veltrane
