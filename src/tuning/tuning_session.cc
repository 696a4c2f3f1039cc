#include "tuning/tuning_session.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "model/tables.h"
#include "tuning/measurement_text.h"
#include "tuning/session_json.h"

namespace veltrane {
namespace {

using measurement_text::Printable;
using session_json::JsonParse;
using session_json::JsonString;
using session_json::JsonValue;
using session_json::ParseJson;

constexpr std::string_view kFormat = "veltrane-measurements";
constexpr int kVersion = 1;

// The channels as veltrane-ctl names them.
constexpr std::array<std::string_view, kChannelCount> kChannelNames = {"in",   "inb",  "out1",
                                                                       "out2", "out3", "out4"};
constexpr std::array<std::string_view, 4> kTargetKinds = {"flat", "tilt", "house", "file"};
constexpr std::array<std::string_view, 3> kSmoothingKinds = {"none", "octave", "variable"};

// JSON has no infinity or NaN; a value that is none is saved as 0.
std::string Number(double value) { return FormatShortest(std::isfinite(value) ? value : 0); }

// Appends value in the shortest form that reads back exactly.
void AppendNumber(double value, std::string* out) {
  std::array<char, 32> buffer{};
  const std::to_chars_result result =
      std::to_chars(buffer.data(), buffer.data() + buffer.size(), std::isfinite(value) ? value : 0);
  out->append(buffer.data(), result.ptr);
}

// One point a line: a long export is still a file one can read and compare.
std::string PointsJson(const MeasuredResponse& response, std::string_view indent) {
  std::string out = "[";
  out.reserve(response.points.size() * (indent.size() + 48));
  bool first = true;
  for (const MeasuredPoint& p : response.points) {
    if (!std::isfinite(p.hz) || !std::isfinite(p.level_db) || !std::isfinite(p.phase_deg)) {
      continue;
    }
    out += first ? "\n" : ",\n";
    first = false;
    out += indent;
    out += '[';
    AppendNumber(p.hz, &out);
    out += ", ";
    AppendNumber(p.level_db, &out);
    if (response.has_phase) {
      out += ", ";
      AppendNumber(p.phase_deg, &out);
    }
    out += ']';
  }
  if (!first) (out += '\n') += indent.substr(2);
  return out + "]";
}

std::string TargetJson(const TargetSpec& target) {
  std::string out =
      "{\"kind\": " + JsonString(kTargetKinds[static_cast<std::size_t>(target.kind)]) +
      ", \"tilt_db_per_octave\": " + Number(target.tilt_db_per_octave) +
      ", \"house_db\": " + Number(target.house_db) + ", \"house_hz\": " + Number(target.house_hz) +
      ",\n";
  out += "    \"file\": {\"has_phase\": " + std::string(target.file.has_phase ? "true" : "false") +
         ", \"points\": " + PointsJson(target.file, "      ") + "}}";
  return out;
}

std::string ChannelJson(int channel, const ChannelMeasurement& measurement) {
  std::string out = "    {\"channel\": " + JsonString(kChannelNames[channel]) + ",\n";
  out += "     \"sources\": [";
  for (std::size_t i = 0; i < measurement.sources.size(); ++i) {
    out += (i > 0 ? ", " : "") + JsonString(measurement.sources[i]);
  }
  out += "],\n";
  const auto kind = static_cast<std::size_t>(measurement.smoothing.kind);
  out += "     \"smoothing\": {\"kind\": " + JsonString(kSmoothingKinds[kind]) +
         ", \"fraction\": " + std::to_string(measurement.smoothing.fraction) + "},\n";
  out += "     \"has_phase\": " + std::string(measurement.averaged.has_phase ? "true" : "false");
  out += ",\n     \"points\": " + PointsJson(measurement.averaged, "       ") + "}";
  return out;
}

template <std::size_t N>
std::optional<std::size_t> IndexOf(const std::array<std::string_view, N>& names,
                                   std::string_view name) {
  for (std::size_t i = 0; i < N; ++i) {
    if (names[i] == name) return i;
  }
  return std::nullopt;
}

// Checks the tree against the file's layout; the first fault becomes the error, saying
// where it is ("channel out1, point 7: ...").
class SessionReader {
 public:
  TuningSessionRead Read(const JsonValue& root);

 private:
  bool Fail(const std::string& where, const std::string& what) {
    error_ = where.empty() ? what : where + ": " + what;
    return false;
  }
  const JsonValue* Member(const JsonValue& object, std::string_view key, JsonValue::Type type,
                          const std::string& where);
  bool ReadTarget(const JsonValue& value, TargetSpec* target);
  bool ReadChannel(const JsonValue& value, TuningSession* session);
  bool ReadSmoothing(const JsonValue& value, const std::string& where, Smoothing* smoothing);
  bool ReadPoints(const JsonValue& object, const std::string& where, MeasuredResponse* response);

  std::string error_;
};

const JsonValue* SessionReader::Member(const JsonValue& object, std::string_view key,
                                       JsonValue::Type type, const std::string& where) {
  const JsonValue* member = object.Find(key);
  if (member == nullptr || member->type != type) {
    constexpr std::array<std::string_view, 6> kTypes = {"null",   "true or false", "a number",
                                                        "a text", "a list",        "an object"};
    Fail(where, "\"" + std::string(key) + "\" must be " +
                    std::string(kTypes[static_cast<std::size_t>(type)]));
    return nullptr;
  }
  return member;
}

TuningSessionRead SessionReader::Read(const JsonValue& root) {
  TuningSession session;
  if (root.type != JsonValue::Type::kObject) return {std::nullopt, "not a measurements file"};
  const JsonValue* format = root.Find("format");
  if (format == nullptr || format->type != JsonValue::Type::kString || format->text != kFormat) {
    return {std::nullopt, "not a measurements file of this editor"};
  }
  const JsonValue* version = Member(root, "version", JsonValue::Type::kNumber, "");
  if (version == nullptr) return {std::nullopt, error_};
  if (version->number != kVersion) {
    return {std::nullopt, "written by another version (" + FormatShortest(version->number) +
                              ") of the editor; this one reads version " +
                              std::to_string(kVersion)};
  }
  const JsonValue* target = Member(root, "target", JsonValue::Type::kObject, "");
  if (target == nullptr || !ReadTarget(*target, &session.target)) return {std::nullopt, error_};
  const JsonValue* channels = Member(root, "channels", JsonValue::Type::kArray, "");
  if (channels == nullptr) return {std::nullopt, error_};
  for (const JsonValue& channel : channels->items) {
    if (!ReadChannel(channel, &session)) return {std::nullopt, error_};
  }
  return {std::move(session), {}};
}

bool SessionReader::ReadTarget(const JsonValue& value, TargetSpec* target) {
  const std::string where = "target";
  const JsonValue* kind = Member(value, "kind", JsonValue::Type::kString, where);
  if (kind == nullptr) return false;
  const std::optional<std::size_t> index = IndexOf(kTargetKinds, kind->text);
  if (!index) return Fail(where, "unknown kind \"" + Printable(kind->text) + "\"");
  target->kind = static_cast<TargetKind>(*index);
  const JsonValue* tilt = Member(value, "tilt_db_per_octave", JsonValue::Type::kNumber, where);
  const JsonValue* house_db =
      tilt ? Member(value, "house_db", JsonValue::Type::kNumber, where) : nullptr;
  const JsonValue* house_hz =
      house_db ? Member(value, "house_hz", JsonValue::Type::kNumber, where) : nullptr;
  const JsonValue* file =
      house_hz ? Member(value, "file", JsonValue::Type::kObject, where) : nullptr;
  if (file == nullptr) return false;
  target->tilt_db_per_octave = tilt->number;
  target->house_db = house_db->number;
  target->house_hz = house_hz->number;
  if (!ReadPoints(*file, "target file", &target->file)) return false;
  if (target->kind == TargetKind::kFile && target->file.points.size() < 2) {
    return Fail("target file", "fewer than two points");
  }
  return true;
}

bool SessionReader::ReadChannel(const JsonValue& value, TuningSession* session) {
  const JsonValue* name = Member(value, "channel", JsonValue::Type::kString, "channels");
  if (name == nullptr) return false;
  const std::optional<std::size_t> channel = IndexOf(kChannelNames, name->text);
  if (!channel) return Fail("channels", "unknown channel \"" + Printable(name->text) + "\"");
  const std::string where = "channel " + name->text;
  if (session->channels[*channel]) return Fail(where, "comes twice");
  ChannelMeasurement measurement;
  const JsonValue* sources = Member(value, "sources", JsonValue::Type::kArray, where);
  if (sources == nullptr) return false;
  for (const JsonValue& source : sources->items) {
    if (source.type != JsonValue::Type::kString) return Fail(where, "a source that is no text");
    measurement.sources.push_back(source.text);
  }
  const JsonValue* smoothing = Member(value, "smoothing", JsonValue::Type::kObject, where);
  if (smoothing == nullptr || !ReadSmoothing(*smoothing, where, &measurement.smoothing) ||
      !ReadPoints(value, where, &measurement.averaged)) {
    return false;
  }
  if (measurement.averaged.points.size() < 2) return Fail(where, "fewer than two points");
  session->channels[*channel] = std::move(measurement);
  return true;
}

bool SessionReader::ReadSmoothing(const JsonValue& value, const std::string& where,
                                  Smoothing* smoothing) {
  const JsonValue* kind = Member(value, "kind", JsonValue::Type::kString, where + " smoothing");
  if (kind == nullptr) return false;
  const std::optional<std::size_t> index = IndexOf(kSmoothingKinds, kind->text);
  if (!index) return Fail(where, "unknown smoothing \"" + Printable(kind->text) + "\"");
  smoothing->kind = static_cast<SmoothingKind>(*index);
  const JsonValue* fraction =
      Member(value, "fraction", JsonValue::Type::kNumber, where + " smoothing");
  if (fraction == nullptr) return false;
  if (fraction->number != std::floor(fraction->number) || fraction->number < 1 ||
      fraction->number > 48) {
    return Fail(where, "a smoothing fraction must be a whole number from 1 to 48");
  }
  smoothing->fraction = static_cast<int>(fraction->number);
  return true;
}

// The "has_phase" and "points" members of object: [hz, dB] or, with phase, [hz, dB, degrees],
// frequencies above 0 and rising.
bool SessionReader::ReadPoints(const JsonValue& object, const std::string& where,
                               MeasuredResponse* response) {
  const JsonValue* has_phase = Member(object, "has_phase", JsonValue::Type::kBool, where);
  const JsonValue* points =
      has_phase ? Member(object, "points", JsonValue::Type::kArray, where) : nullptr;
  if (points == nullptr) return false;
  response->has_phase = has_phase->boolean;
  const std::size_t width = response->has_phase ? 3 : 2;
  response->points.reserve(points->items.size());
  for (std::size_t i = 0; i < points->items.size(); ++i) {
    const JsonValue& point = points->items[i];
    const std::string at = where + ", point " + std::to_string(i + 1);
    const bool numbers = std::all_of(point.items.begin(), point.items.end(),
                                     [](auto& v) { return v.type == JsonValue::Type::kNumber; });
    if (point.type != JsonValue::Type::kArray || point.items.size() != width || !numbers) {
      return Fail(at, "expected " + std::to_string(width) + " numbers");
    }
    const MeasuredPoint p{point.items[0].number, point.items[1].number,
                          width == 3 ? point.items[2].number : 0};
    if (!(p.hz > 0)) return Fail(at, FormatShortest(p.hz) + " Hz is not a frequency above 0");
    if (!response->points.empty() && p.hz <= response->points.back().hz) {
      return Fail(at, "frequencies must rise");
    }
    response->points.push_back(p);
  }
  return true;
}

}  // namespace

std::string TuningSessionPath(std::string_view preset_path) {
  return std::string(preset_path) + ".measurements.json";
}

std::string WriteTuningSession(const TuningSession& session) {
  std::string out = "{\n  \"format\": " + JsonString(kFormat) +
                    ",\n  \"version\": " + std::to_string(kVersion) +
                    ",\n  \"target\": " + TargetJson(session.target) + ",\n  \"channels\": [";
  bool first = true;
  for (int channel = 0; channel < kChannelCount; ++channel) {
    if (!session.channels[channel]) continue;
    out += first ? "\n" : ",\n";
    first = false;
    out += ChannelJson(channel, *session.channels[channel]);
  }
  out += first ? "]\n}\n" : "\n  ]\n}\n";
  return out;
}

TuningSessionRead ReadTuningSession(std::string_view text) {
  const JsonParse parse = ParseJson(text);
  if (!parse.value) return {std::nullopt, parse.error};
  return SessionReader().Read(*parse.value);
}

}  // namespace veltrane
