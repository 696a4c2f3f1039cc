#pragma once

// What every editor of the detail window works on: the model, the editor state shared
// with the graph, and the outlets that are attached after construction (the send slots,
// the graph and the edit history). Any outlet may still be missing; then that step is
// skipped, which keeps the widgets usable on their own in tests.

#include <QComboBox>
#include <QString>
#include <array>
#include <cstddef>

#include "model/blocks.h"
#include "model/edit_history.h"
#include "model/parameter_model.h"
#include "model/tables.h"
#include "ui/editor_state.h"

namespace veltrane {

struct DetailContext {
  DetailContext(ParameterModel& m, EditorState& s) : model(m), state(s) {}

  ParameterModel& model;
  EditorState& state;
  SlotSink* sink = nullptr;
  GraphControl* graph = nullptr;
  EditHistory* history = nullptr;  // every handler that edits is one step of it

  void QueueEqBand(int band_id) const {
    if (sink != nullptr) SendEqBandBlock(model, band_id, *sink);
  }
  void QueueCrossover(int channel) const {
    if (sink != nullptr) SendCrossoverBlock(model, channel, *sink);
  }
  void QueueChannel(int channel) const {
    if (sink != nullptr) SendChannelBlock(model, channel, *sink);
  }
  void QueueLimiter(int channel) const {
    if (sink != nullptr) SendLimiterBlock(model, channel, *sink);
  }
  // Redraws for SelectedBand, so callers set it first.
  void UpdateBandPoint(int type) const {
    if (graph != nullptr) graph->UpdateBandPoint(type);
  }
  void CrossoverRedraw(int channel, bool high_pass) const {
    if (graph != nullptr) graph->CrossoverRedraw(channel, high_pass);
  }
  void RedrawAllCurves() const {
    if (graph != nullptr) graph->RedrawAllCurves();
  }
  void RefreshView() const {
    if (graph != nullptr) graph->RefreshView();
  }
};

// "0.0" text of a table value, as every numeric field shows it.
inline QString OneDecimal(double value) { return QString::fromStdString(FormatOneDecimal(value)); }

// The same for an index into a table; an index the table does not hold shows nothing
// rather than reading past the table.
template <std::size_t N>
QString TableText(const std::array<double, N>& table, int index) {
  return index >= 0 && static_cast<std::size_t>(index) < N ? OneDecimal(table[index]) : QString();
}

// Selects the item at `value` without counting as a user's choice. A value outside the
// list shows no item; the model keeps it.
inline void ShowChoice(QComboBox* box, int value) {
  const QSignalBlocker blocker(box);
  box->setCurrentIndex(value >= 0 && value < box->count() ? value : -1);
}

}  // namespace veltrane
