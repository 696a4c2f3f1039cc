#include "cli/fit_command.h"

#include <QJsonArray>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "cli/command_line.h"
#include "cli/parameters.h"
#include "model/tables.h"
#include "response/complex_response.h"
#include "storage/file_store.h"
#include "tuning/prediction.h"

namespace veltrane {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// Dividing by the scale gives the double nearest the short decimal, which prints short.
double Rounded(double value, double scale) { return std::round(value * scale) / scale; }

std::optional<double> NumberIn(const std::string& text, double low, double high) {
  const std::optional<double> v = ParseDecimal(text);
  if (v && *v >= low && *v <= high) return v;
  return std::nullopt;
}

std::optional<Smoothing> ParseSmoothing(const std::string& text) {
  if (text == "none") return Smoothing{SmoothingKind::kNone, 1};
  if (text == "var") return Smoothing{SmoothingKind::kVariable, 1};
  if (!text.starts_with("1/")) return std::nullopt;
  const std::optional<int> n = ParseInteger(text.substr(2));
  constexpr std::array<int, 7> kFractions = {1, 2, 3, 6, 12, 24, 48};
  if (!n || std::find(kFractions.begin(), kFractions.end(), *n) == kFractions.end()) {
    return std::nullopt;
  }
  return Smoothing{SmoothingKind::kFractionalOctave, *n};
}

// "1-8", "3" or "1,3,5": the bands the fit may change.
std::optional<std::array<bool, kBandsPerChannel>> ParseBands(const std::string& text) {
  std::array<bool, kBandsPerChannel> free{};
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t comma = std::min(text.find(',', start), text.size());
    const std::string part = text.substr(start, comma - start);
    const std::size_t dash = part.find('-');
    const std::optional<int> a = ParseInteger(part.substr(0, dash));
    const std::optional<int> b =
        dash == std::string::npos ? a : ParseInteger(part.substr(dash + 1));
    if (!a || !b || *a < 1 || *b > kBandsPerChannel || *a > *b) return std::nullopt;
    for (int n = *a; n <= *b; ++n) free[n - 1] = true;
    start = comma + 1;
  }
  return free;
}

std::string Hz(double hz) { return FormatShortest(Rounded(hz, 10)); }

std::string TypeName(int type) {
  return type == kLowShelf ? "LS" : type == kHighShelf ? "HS" : "PEQ";
}

// One measurement file's curves, or what is wrong with it.
std::string ReadCurves(FileStore& files, const std::string& path,
                       std::vector<MeasuredResponse>& curves) {
  const FileReadResult file = files.Read(path, kMaxMeasurementFileBytes);
  if (file.status == FileReadResult::Status::kTooLarge) {
    return path + ": " + TooLargeMeasurementProblem().message;
  }
  if (file.status != FileReadResult::Status::kOk) return path + ": " + file.error;
  MeasurementRead read = ReadMeasurementText(file.text);
  if (read.problem) return path + ": " + read.problem->message;
  // A file's first curve, as the editor takes it; several files are several positions.
  curves.push_back(std::move(read.curves.front()));
  return {};
}

std::string ReadTarget(FileStore& files, const FitCommandOptions& o, TargetSpec& target) {
  const int given = (o.tilt_db ? 1 : 0) + (o.house_text ? 1 : 0) + (o.target_file.empty() ? 0 : 1);
  if (given > 1) return "give one of --tilt, --house and --target";
  if (o.tilt_db) {
    target.kind = TargetKind::kTilt;
    target.tilt_db_per_octave = *o.tilt_db;
  } else if (o.house_text) {
    const std::size_t at = o.house_text->find('@');
    const auto db = NumberIn(o.house_text->substr(0, at), -12, 12);
    const auto hz =
        at == std::string::npos ? std::nullopt : NumberIn(o.house_text->substr(at + 1), 20, 2000);
    if (!db || !hz) return "--house needs DB@HZ, e.g. 6@120 (-12..12 dB, 20..2000 Hz)";
    target.kind = TargetKind::kHouse;
    target.house_db = *db;
    target.house_hz = *hz;
  } else if (!o.target_file.empty()) {
    std::vector<MeasuredResponse> curves;
    if (std::string error = ReadCurves(files, o.target_file, curves); !error.empty()) return error;
    target.kind = TargetKind::kFile;
    target.file = curves.front();
  }
  return {};
}

std::string ReadSettings(const FitCommandOptions& o, FitSettings& settings) {
  if (o.range_text) {
    const std::size_t dash = o.range_text->find('-');
    const auto low = NumberIn(o.range_text->substr(0, dash), 20, 20000);
    const auto high =
        dash == std::string::npos ? std::nullopt : NumberIn(o.range_text->substr(dash + 1), 20, 20000);
    // A third of an octave at least: fewer points than that fit nothing.
    if (!low || !high || *high < *low * std::cbrt(2.0)) {
      return "--range needs LOW-HIGH in Hz within 20-20000, at least a third of an octave wide";
    }
    settings.low_hz = *low;
    settings.high_hz = *high;
  }
  settings.max_boost_db = o.max_boost_db;
  settings.allow_shelves = o.shelves;
  if (o.bands_text) {
    const auto free = ParseBands(*o.bands_text);
    if (!free) return "--bands needs band numbers within 1-8, e.g. 1-8 or 1,3,5";
    settings.free = *free;
  }
  return {};
}

std::string ReadMeasurement(FileStore& files, const FitJob& job, Smoothing smoothing,
                            MeasuredResponse& measured) {
  std::vector<MeasuredResponse> curves;
  for (const std::string& path : job.measurement_files) {
    if (std::string error = ReadCurves(files, path, curves); !error.empty()) return error;
  }
  measured = Smooth(curves.size() == 1 ? curves.front() : PowerAverage(curves), smoothing);
  if (measured.points.size() < 2) return "the measurements share no frequency range";
  const double first = measured.points.front().hz;
  const double last = measured.points.back().hz;
  if (first > job.settings.low_hz * 1.0001 || last < job.settings.high_hz * 0.9999) {
    return "the measurement covers " + Hz(first) + "-" + Hz(last) + " Hz; the range " +
           Hz(job.settings.low_hz) + "-" + Hz(job.settings.high_hz) + " Hz must lie within it";
  }
  return {};
}

}  // namespace

std::optional<std::string> ParseFitOption(const std::string& arg,
                                          const std::function<std::optional<std::string>()>& value,
                                          FitCommandOptions& o) {
  if (arg == "--no-shelves") {
    o.shelves = false;
    return std::string();
  }
  if (arg == "--fitted") {
    o.fitted = true;
    return std::string();
  }
  static const std::array<std::string, 7> kValued = {"--max-boost", "--tilt",  "--house", "--target",
                                                     "--bands",     "--smooth", "--range"};
  if (std::find(kValued.begin(), kValued.end(), arg) == kValued.end()) return std::nullopt;
  const std::optional<std::string> text = value();
  if (!text) return arg + " needs a value";
  if (arg == "--max-boost") {
    const auto db = NumberIn(*text, 0, 12);
    if (!db) return "--max-boost needs a number of dB from 0 to 12";
    o.max_boost_db = *db;
  } else if (arg == "--tilt") {
    o.tilt_db = NumberIn(*text, -6, 6);
    if (!o.tilt_db) return "--tilt needs dB per octave from -6 to 6";
  } else if (arg == "--smooth") {
    const auto smoothing = ParseSmoothing(*text);
    if (!smoothing) return "--smooth needs none, var or 1/N with N 1, 2, 3, 6, 12, 24 or 48";
    o.smoothing = *smoothing;
  } else if (arg == "--house") {
    o.house_text = *text;
  } else if (arg == "--target") {
    o.target_file = *text;
  } else if (arg == "--bands") {
    o.bands_text = *text;
  } else {
    o.range_text = *text;
  }
  return std::string();
}

FitJobRead ReadFitJob(const std::string& command, const std::vector<std::string>& args,
                      const FitCommandOptions& options, FileStore& files) {
  FitJobRead read;
  FitJob job;
  const std::optional<int> channel = ParseChannel(args.front());
  if (!channel) {
    read.error = command + ": the channel is in, inb, out1, out2, out3 or out4";
    return read;
  }
  job.channel = *channel;
  job.fitted = options.fitted;
  const bool predict = command == "predict";
  job.measurement_files.assign(args.begin() + 1, predict ? args.end() - 1 : args.end());
  if (predict) job.output_file = args.back();
  std::string error = ReadSettings(options, job.settings);
  if (error.empty()) error = ReadTarget(files, options, job.target);
  if (error.empty()) error = ReadMeasurement(files, job, options.smoothing, job.measured);
  if (!error.empty()) {
    read.error = command + ": " + error;
    return read;
  }
  read.job = std::move(job);
  return read;
}

ParameterModel WithFittedBands(const ParameterModel& model, int channel, const FitResult& result) {
  ParameterModel fitted = model;
  for (int n = 0; n < kBandsPerChannel; ++n) fitted.bands[BandId(channel, n)] = result.bands[n];
  return fitted;
}

FitReport RunFit(const ParameterModel& model, const FitJob& job) {
  FitReport report;
  const FitProblem problem =
      MakeFitProblem(model, job.channel, job.measured, job.target, job.settings);
  report.result = FitEq(problem, job.settings);
  const FitResult& r = report.result;
  QJsonObject& j = report.json;
  j["channel"] = Q(ChannelName(job.channel));
  j["range_hz"] = QJsonArray{job.settings.low_hz, job.settings.high_hz};
  j["rms_before_db"] = Rounded(r.rms_before_db, 100);
  j["rms_after_db"] = Rounded(r.rms_after_db, 100);
  char summary[200];
  std::snprintf(summary, sizeof summary, "%s: RMS error over %s-%s Hz %.2f dB before, %.2f dB after",
                ChannelName(job.channel).c_str(), Hz(job.settings.low_hz).c_str(),
                Hz(job.settings.high_hz).c_str(), r.rms_before_db, r.rms_after_db);
  report.lines.push_back(summary);
  QJsonArray bands;
  for (int n = 0; n < kBandsPerChannel; ++n) {
    const BandValues b = BandValuesOf(r.bands[n]);
    bands.append(QJsonObject{{"band", n + 1},
                             {"type", Q(TypeName(b.type))},
                             {"freq_hz", b.freq_hz},
                             {"gain_db", b.gain_db},
                             {"q", b.q}});
    std::snprintf(summary, sizeof summary, "band %d: %-3s %7s Hz %6s dB Q %s%s", n + 1,
                  TypeName(b.type).c_str(), FormatShortest(b.freq_hz).c_str(),
                  FormatOneDecimal(b.gain_db).c_str(), FormatOneDecimal(b.q).c_str(),
                  job.settings.free[n] ? "" : "  (kept)");
    report.lines.push_back(summary);
  }
  j["bands"] = bands;
  return report;
}

std::optional<std::string> PredictionText(const ParameterModel& model, const FitJob& job) {
  std::vector<double> hz;
  for (const MeasuredPoint& p : job.measured.points) hz.push_back(p.hz);
  const std::vector<double> level = PredictedLevels(model, job.channel, job.measured, hz);
  std::vector<ComplexPoint> processing;
  if (job.measured.has_phase) {
    // The same channel the levels come from: a mute is left out of both.
    processing = EvaluateCurve(ChannelProcessingOf(UnmutedModel(model, job.channel), job.channel),
                               std::span<const double>(hz));
  }
  std::string text = "* Predicted response of " + ChannelName(job.channel) +
                     " (veltrane-ctl predict)\n* Freq(Hz) SPL(dB)" +
                     (job.measured.has_phase ? " Phase(degrees)\n" : "\n");
  char line[96];
  bool any = false;
  for (std::size_t i = 0; i < hz.size(); ++i) {
    if (!std::isfinite(level[i])) continue;
    any = true;
    if (job.measured.has_phase) {
      double phase = job.measured.points[i].phase_deg + PhaseDegrees(processing[i]);
      phase = std::remainder(phase, 360.0);
      std::snprintf(line, sizeof line, "%.4f %.3f %.2f\n", hz[i], level[i], phase);
    } else {
      std::snprintf(line, sizeof line, "%.4f %.3f\n", hz[i], level[i]);
    }
    text += line;
  }
  if (!any) return std::nullopt;
  return text;
}

}  // namespace veltrane
