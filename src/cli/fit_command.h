#pragma once

// `fit` and `predict`: a channel's measurement in, the processor's own EQ fitted to a
// target, or the response predicted with the channel's processing. Both work offline from
// files alone; with a port they start from the channel's live settings.

#include <QJsonObject>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/channels.h"
#include "model/parameter_model.h"
#include "tuning/eq_fit.h"
#include "tuning/measurement.h"
#include "tuning/target.h"

namespace veltrane {

class FileStore;

struct FitCommandOptions {
  std::optional<std::string> range_text;  // --range LOW-HIGH in Hz (scan reads its own)
  double max_boost_db = 3;                // --max-boost DB
  std::optional<double> tilt_db;          // --tilt DB per octave
  std::optional<std::string> house_text;  // --house DB@HZ
  std::string target_file;                // --target FILE
  std::optional<std::string> bands_text;  // --bands 1-8 or 1,3,5
  bool shelves = true;                    // --no-shelves
  Smoothing smoothing{SmoothingKind::kVariable, 6};  // --smooth none|var|1/N
  bool fitted = false;                    // predict --fitted: with the fit's bands
};

// Reads one fit option at argv position `arg` (`value` fetches the next argument). Returns
// nullopt when the argument is not a fit option, otherwise an error (empty when it was read).
std::optional<std::string> ParseFitOption(const std::string& arg,
                                          const std::function<std::optional<std::string>()>& value,
                                          FitCommandOptions& options);

// Everything a fit needs, checked and read before any processor is asked.
struct FitJob {
  int channel = 0;
  std::vector<std::string> measurement_files;
  std::string output_file;  // predict
  MeasuredResponse measured;  // averaged and smoothed
  TargetSpec target;
  FitSettings settings;
  bool fitted = false;
};

struct FitJobRead {
  std::optional<FitJob> job;
  std::string error;  // a usage or file error, one line
};
FitJobRead ReadFitJob(const std::string& command, const std::vector<std::string>& args,
                      const FitCommandOptions& options, FileStore& files);

// The fit on the channel of `model` (its other bands kept where not free).
struct FitReport {
  FitResult result;
  std::vector<std::string> lines;  // what the text output says
  QJsonObject json;
};
FitReport RunFit(const ParameterModel& model, const FitJob& job);

// The model with the fitted bands in the job's channel.
ParameterModel WithFittedBands(const ParameterModel& model, int channel, const FitResult& result);

// The predicted response as a measurement file of the import format: a `*` header, then
// "Freq(Hz) SPL(dB)" (and "Phase(degrees)" when the measurement has phase). None when no
// point is left.
std::optional<std::string> PredictionText(const ParameterModel& model, const FitJob& job);

}  // namespace veltrane
