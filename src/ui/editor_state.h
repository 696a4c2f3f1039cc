#pragma once

// State shared by the detail window's editors and the response graph, and the two small
// interfaces through which they reach each other.

#include <QString>
#include <string>

namespace veltrane {

struct EditorState {
  int selected_band = 0;             // SelectedBand: the band last edited, dragged or selected
  int crossover_channel = 0;         // CrossoverChannel: whose crossover changed last
  int shown_channel = 0;             // ShownChannel: 0 none, 1..6 ChannelId + 1, 7 the gain page
  bool single_channel_mode = false;  // SingleChannelMode: while the detail window is shown
  QString saved_field_text;          // SavedFieldText of the numeric field that has the focus
  bool save_on_enter = true;         // SaveOnEnter
};

// Implemented by the response graph of the main window.
class GraphControl {
 public:
  virtual ~GraphControl() = default;
  // Places SelectedBand's point from the model, copies the grid, recomputes the band's
  // row with `type` and draws its channel and points.
  virtual void UpdateBandPoint(int type) = 0;
  // Copies the grid, recomputes the channel's high-pass or low-pass row and draws the
  // channel's total as the rule for that filter says, then the channel's band points.
  virtual void CrossoverRedraw(int channel, bool high_pass) = 0;
  // Copies the grid and draws every visible channel (all-channels view).
  virtual void RedrawAllCurves() = 0;
  // Recomputes every row from the model and ends with the all-channels drawing.
  virtual void FullRecompute() = 0;
  // The label above the graph ("show all", "IN", "H_OUT", ...).
  virtual void SetTitle(const QString& title) = 0;
  // The detail window was shown (pen 1, legend boxes disabled, single-channel mode) or
  // hidden (pen 2, boxes enabled, title "show all", all curves).
  virtual void SetDetailShown(bool shown) = 0;
  // Disconnect: any drag ends.
  virtual void EndDrag() = 0;
  // A value only the phase, group delay and sum views show (polarity, delay, mute)
  // changed: the view shown is drawn again.
  virtual void RefreshView() {}
};

// Implemented by the detail window: a dragged point writes its band's fields, and the
// wheel over a point steps its Q as the band's Q box does.
class BandFieldSink {
 public:
  virtual ~BandFieldSink() = default;
  virtual void ShowDraggedBand(int band_id, const QString& freq_text, const QString& gain_text) = 0;
  virtual void StepBandQ(int /*band_id*/, int /*delta*/) {}
};

// Implemented by the main window: areas the detail window's Reset disables for 6 s.
class MainPanels {
 public:
  virtual ~MainPanels() = default;
  virtual void SetResetLock(bool locked) = 0;  // graph area, top bar and bottom panel
};

}  // namespace veltrane
