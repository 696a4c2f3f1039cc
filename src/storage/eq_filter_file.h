#pragma once

// Import and export of a channel's eight EQ bands as a filter list file (the text that
// room-measurement programs write). Export writes the bands; import reads a list, shows
// what the processor's tables will make of it, and on the user's word applies it as one
// edit: the bands change, their frames are sent, and one undo takes it all back.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/edit_history.h"
#include "model/parameter_model.h"
#include "protocol/view.h"
#include "storage/eq_filter_text.h"
#include "storage/file_store.h"

namespace veltrane {

// A filter list is a short text; anything larger is not one.
inline constexpr std::size_t kFilterFileMaxBytes = 256 * 1024;

// What the import asks of the windows besides the file dialog and messages.
class FilterImportView {
 public:
  virtual ~FilterImportView() = default;
  // Lists the filters with their requested and applied values, what was left out and why;
  // `accept` gets the user's answer, at once or later.
  virtual void ConfirmFilterImport(int channel, const FilterImport& plan,
                                   std::function<void(bool accept)> accept) = 0;
};

class EqFilterFile {
 public:
  EqFilterFile(ParameterModel& model, EditHistory& history, OperationView& view,
               FilterImportView& confirm, FileStore& files);
  ~EqFilterFile();
  EqFilterFile(const EqFilterFile&) = delete;
  EqFilterFile& operator=(const EqFilterFile&) = delete;

  void Export(int channel);
  void Import(int channel);

 private:
  void ImportChosen(int channel, const std::string& path);

  ParameterModel& model_;
  EditHistory& history_;
  OperationView& view_;
  FilterImportView& confirm_;
  FileStore& files_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// "No filters found in PATH." with an example of the lines that are read.
std::string NoFiltersMessage(std::string_view path);
// A list whose every filter is of a kind the processor does not have, or lacks a value.
std::string NothingToImportMessage(std::string_view path,
                                   const std::vector<FilterProblem>& problems);

}  // namespace veltrane
