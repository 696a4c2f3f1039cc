#pragma once

// One EQ band on a channel page: its number, frequency, gain and Q boxes with their step
// buttons, and its type list. The row writes the band in the model, queues the band's
// frame and asks the graph to move the band's point, in the order each action needs.

#include <QWidget>

#include "ui/detail_context.h"

class QComboBox;
class QLabel;

namespace veltrane {

class NumericField;
class StepButtons;

// Column widths shared with the column heads above the rows.
inline constexpr int kEqNumberWidth = 30;
inline constexpr int kEqFieldWidth = 56;
inline constexpr int kEqStepWidth = 30;
inline constexpr int kEqTypeWidth = 80;

class EqBandRow : public QWidget {
  Q_OBJECT

 public:
  EqBandRow(DetailContext& context, int band_id, QWidget* parent = nullptr);

  int BandIdOfRow() const { return band_id_; }

  // Refresh from the model, in three passes so the window can keep the refresh order
  // across all bands: texts, then the Q box state, then the type list.
  void ShowTexts();
  void ShowQState();
  void ShowType();

  // Reset: the start texts of this row's band number, type "PEQ".
  void ShowStartTexts();
  // A point dragged on the graph writes the band's frequency and gain.
  void ShowDragged(const QString& frequency_text, const QString& gain_text);
  // The wheel over the band's point: what the Q box's step buttons do.
  void StepQ(int delta);

 private:
  enum class Field { kFrequency, kGain, kQ };

  BandParams& Band() const { return context_.model.bands[band_id_]; }
  void Select() const { context_.state.selected_band = band_id_; }
  void ShowFieldText(Field field);
  void OnCommit(Field field, double value);
  void OnStep(Field field, int delta);
  void OnTypeChosen(int type);

  DetailContext& context_;
  int band_id_;
  NumericField* frequency_ = nullptr;
  NumericField* gain_ = nullptr;
  NumericField* q_ = nullptr;
  StepButtons* frequency_steps_ = nullptr;
  StepButtons* gain_steps_ = nullptr;
  StepButtons* q_steps_ = nullptr;
  QComboBox* type_ = nullptr;
};

}  // namespace veltrane
