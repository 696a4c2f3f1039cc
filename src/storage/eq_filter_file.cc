#include "storage/eq_filter_file.h"

#include <algorithm>
#include <span>

#include "model/channels.h"
#include "storage/image_text.h"

namespace veltrane {
namespace {

const FileDialogRequest kOpenDialog{.save = false, .default_name = "", .filter = "EQ filter list"};

bool ValidChannel(int channel) { return channel >= 0 && channel < kChannelCount; }

std::span<BandParams, kBandsPerChannel> BandsOf(ParameterModel& model, int channel) {
  return std::span<BandParams, kBandsPerChannel>(&model.bands[BandId(channel, 0)],
                                                 kBandsPerChannel);
}

}  // namespace

std::string NothingToImportMessage(std::string_view path,
                                   const std::vector<FilterProblem>& problems) {
  std::string text = "No filter in " + std::string(path) + " can be imported:";
  for (const FilterProblem& problem : problems) {
    text += "\nline " + std::to_string(problem.line) + ": " + problem.text;
  }
  return text;
}

std::string NoFiltersMessage(std::string_view path) {
  return "No filters found in " + std::string(path) +
         ".\nA filter list has lines such as\nFilter 1: ON PK Fc 120 Hz Gain -4.5 dB Q 2.50";
}

EqFilterFile::EqFilterFile(ParameterModel& model, EditHistory& history, OperationView& view,
                           FilterImportView& confirm, FileStore& files)
    : model_(model), history_(history), view_(view), confirm_(confirm), files_(files) {}

EqFilterFile::~EqFilterFile() { *alive_ = false; }

void EqFilterFile::Export(int channel) {
  if (!ValidChannel(channel)) return;
  const FileDialogRequest dialog{
      .save = true,
      .default_name = std::string(kChannelCaptions[channel]) + " filters.txt",
      .filter = "EQ filter list"};
  view_.ChooseFile(dialog, [this, alive = std::weak_ptr<bool>(alive_),
                            channel](std::optional<std::string> path) {
    if (alive.expired() || !path) return;
    // The bands as they are when the file is written, not when the dialog opened.
    const std::string text = WriteFilterText(BandsOf(model_, channel), kChannelCaptions[channel],
                                             model_.channels[channel].eq_bypass == 1);
    const std::string error = files_.WriteAtomically(*path, text);
    if (!error.empty()) view_.ShowMessage(CannotSaveMessage(*path, error));
  });
}

void EqFilterFile::Import(int channel) {
  if (!ValidChannel(channel)) return;
  view_.ChooseFile(kOpenDialog, [this, alive = std::weak_ptr<bool>(alive_),
                                 channel](std::optional<std::string> path) {
    if (alive.expired() || !path) return;
    ImportChosen(channel, *path);
  });
}

void EqFilterFile::ImportChosen(int channel, const std::string& path) {
  const FileReadResult read = files_.Read(path, kFilterFileMaxBytes);
  if (read.status == FileReadResult::Status::kError) {
    view_.ShowMessage(CannotReadMessage(path, read.error));
    return;
  }
  if (read.status == FileReadResult::Status::kTooLarge) {
    view_.ShowMessage(NoFiltersMessage(path));
    return;
  }
  FilterFile file = ParseFilterText(read.text);
  if (file.filter_lines == 0) {
    view_.ShowMessage(NoFiltersMessage(path));
    return;
  }
  const FilterImport plan = PlanFilterImport(file, BandsOf(model_, channel));
  if (plan.imported.empty() && !plan.problems.empty()) {
    // Only filters the processor cannot take: offering to flatten the bands would be
    // a surprise, so the reasons are all there is to show.
    view_.ShowMessage(NothingToImportMessage(path, plan.problems));
    return;
  }
  confirm_.ConfirmFilterImport(
      channel, plan,
      [this, alive = std::weak_ptr<bool>(alive_), channel, file = std::move(file)](bool accept) {
        if (alive.expired() || !accept) return;
        // Planned again on the bands as they are now: the dialog may have been open while
        // the bands changed, and what the file does not say is kept from them.
        history_.Apply([&](ParameterModel& model) {
          const FilterImport now = PlanFilterImport(file, BandsOf(model, channel));
          std::copy(now.bands.begin(), now.bands.end(), BandsOf(model, channel).begin());
        });
      });
}

}  // namespace veltrane
