#pragma once

// "Fit EQ to target…": the fit's range, boost limit, free bands, shelves and target for a
// channel's measurement, fitted again on every change, with the error before and after,
// the bands as the detail window shows them and the curves. The dialog only suggests;
// whoever opened it applies the fitted bands on Accept.

#include <QDialog>
#include <QImage>
#include <QString>
#include <array>
#include <functional>

#include "model/parameter_model.h"
#include "tuning/eq_fit.h"
#include "tuning/target.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace veltrane {

// One row of the band table: type, frequency, gain and Q as the detail window shows them
// (Q empty for a shelf).
struct FitBandText {
  QString type, frequency, gain, q;
};
FitBandText FitBandRow(const BandParams& band);

// The fit's curves over its range: the measurement, the target, and the prediction with
// the bands before (red) and after (white).
QImage DrawFitPlot(const FitProblem& problem, const FitResult& result, QSize size);

class FitDialog : public QDialog {
  Q_OBJECT

 public:
  // Asks for a target file and reads it; `chosen` is called only with a usable one (the
  // chooser tells the user what is wrong with any other).
  using TargetFileChooser =
      std::function<void(std::function<void(MeasuredResponse target)> chosen)>;

  FitDialog(const ParameterModel& model, int channel, MeasuredResponse measured,
            const TargetSpec& target, const FitSettings& settings, QWidget* parent = nullptr);

  void SetTargetFileChooser(TargetFileChooser chooser) { choose_target_file_ = std::move(chooser); }

  const FitResult& Result() const { return result_; }
  const FitProblem& Problem() const { return problem_; }
  const TargetSpec& Target() const { return target_; }
  FitSettings Settings() const;
  int Channel() const { return channel_; }

  QComboBox* TargetList() const { return target_list_; }
  QSpinBox* HighHz() const { return high_hz_; }
  QCheckBox* FreeBand(int number) const { return free_[number]; }
  QTableWidget* Bands() const { return table_; }
  QLabel* ErrorText() const { return error_text_; }

 public slots:
  // The settings changed: the fit runs again and everything shown follows.
  void Fit();

 private:
  QWidget* BuildSettings();
  QWidget* BuildTarget();
  QWidget* BuildCurves();
  QTableWidget* BuildTable();
  void ConnectSettings();
  void ShowResult();
  void ChooseTargetFile();

  const ParameterModel& model_;
  int channel_;
  MeasuredResponse measured_;  // a copy: the session may drop it while the dialog is open
  TargetSpec target_;
  FitProblem problem_;
  FitResult result_;
  TargetFileChooser choose_target_file_;

  QSpinBox* low_hz_ = nullptr;
  QSpinBox* high_hz_ = nullptr;
  QDoubleSpinBox* max_boost_ = nullptr;
  std::array<QCheckBox*, kBandsPerChannel> free_{};
  QCheckBox* shelves_ = nullptr;
  QComboBox* target_list_ = nullptr;
  QDoubleSpinBox* tilt_ = nullptr;
  QDoubleSpinBox* house_db_ = nullptr;
  QSpinBox* house_hz_ = nullptr;
  QPushButton* target_file_ = nullptr;
  QLabel* error_text_ = nullptr;
  QTableWidget* table_ = nullptr;
  QLabel* plot_ = nullptr;
  QPushButton* apply_ = nullptr;
};

}  // namespace veltrane
