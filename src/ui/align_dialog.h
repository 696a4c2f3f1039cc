#pragma once

// "Align outputs…": for a pair of neighbouring outputs, the polarity and delay that make
// their sum flattest around their crossover, with the sum before and after drawn side by
// side. The dialog only suggests; whoever opened it applies the suggestion on Accept.

#include <QDialog>
#include <QImage>
#include <array>
#include <optional>

#include "model/parameter_model.h"
#include "response/alignment.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace veltrane {

// H_OUT with M_OUT, M_OUT with L_OUT.
inline constexpr std::array<std::array<int, 2>, 2> kAlignPairs = {{{kOut1, kOut2}, {kOut2, kOut3}}};
// The pair a channel's menu starts with: L_OUT's is the lower one.
int AlignPairOf(int channel);

// The text that describes a result, for the dialog.
QString AlignmentText(const AlignmentResult& result);

// Two octaves either side of the crossover, -30..+10 dB: the sum before in red, after in
// white, the judged octave shaded.
QImage DrawAlignmentPlot(const ParameterModel& model, const AlignmentSuggestion& suggestion,
                         QSize size);

class AlignOutputsDialog : public QDialog {
  Q_OBJECT

 public:
  AlignOutputsDialog(const ParameterModel& model, int channel, QWidget* parent = nullptr);

  const std::optional<AlignmentSuggestion>& Suggestion() const { return result_.suggestion; }
  QComboBox* PairList() const { return pair_list_; }

 private:
  void Suggest();

  const ParameterModel& model_;
  AlignmentResult result_;
  QComboBox* pair_list_ = nullptr;
  QLabel* text_ = nullptr;
  QLabel* plot_ = nullptr;
  QPushButton* apply_ = nullptr;
};

}  // namespace veltrane
