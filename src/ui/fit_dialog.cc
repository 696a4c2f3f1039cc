#include "ui/fit_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPolygon>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <numeric>

#include "model/tables.h"
#include "tuning/prediction.h"
#include "ui/drop_down_list.h"
#include "ui/tuning_overlay.h"

namespace veltrane {
namespace {

// The plot's height: from 20 dB above the target's mean, where room modes peak, to 30 dB
// below it, where dips and roll-offs go.
constexpr int kPlotSpanDb = 50;
constexpr int kPlotHeadroomDb = 20;

QString Text(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString OneDecimal(double value) { return QString::fromStdString(FormatOneDecimal(value)); }

// The measurement through the fixed processing and the given bands, on the fit's grid.
std::vector<double> PredictedOnGrid(const FitProblem& problem,
                                    const std::array<BandParams, kBandsPerChannel>& bands) {
  std::vector<double> levels(problem.hz.size());
  for (std::size_t i = 0; i < levels.size(); ++i) {
    levels[i] = problem.measured_db[i] + problem.fixed_db[i];
  }
  for (const BandParams& band : bands) {
    const std::vector<double> band_db = BandLevelsDb(band, problem.hz);
    for (std::size_t i = 0; i < levels.size() && i < band_db.size(); ++i) levels[i] += band_db[i];
  }
  return levels;
}

QSpinBox* HzBox(QWidget* parent, int low, int high, int value, const char* name) {
  auto* box = new QSpinBox(parent);
  box->setObjectName(QLatin1String(name));
  box->setRange(low, high);
  box->setValue(value);
  box->setSuffix(QStringLiteral(" Hz"));
  // A fit per committed value, not per key typed.
  box->setKeyboardTracking(false);
  return box;
}

QDoubleSpinBox* DbBox(QWidget* parent, double low, double high, double value, const char* name) {
  auto* box = new QDoubleSpinBox(parent);
  box->setObjectName(QLatin1String(name));
  box->setRange(low, high);
  box->setDecimals(1);
  box->setSingleStep(0.5);
  box->setValue(value);
  box->setKeyboardTracking(false);
  return box;
}

}  // namespace

FitBandText FitBandRow(const BandParams& band) {
  const BandValues v = BandValuesOf(band);
  FitBandText row;
  row.type = Text(kEqTypeNames[v.type]);
  row.frequency = OneDecimal(v.freq_hz);
  row.gain = OneDecimal(v.gain_db);
  if (v.type == kPeaking) row.q = OneDecimal(v.q);
  return row;
}

QImage DrawFitPlot(const FitProblem& problem, const FitResult& result, QSize size) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(Qt::black);
  if (problem.hz.size() < 2) return image;
  QPainter p(&image);
  const double low = problem.hz.front();
  const double octaves = std::log2(problem.hz.back() / low);
  const double mean = std::accumulate(problem.target_db.begin(), problem.target_db.end(), 0.0) /
                      static_cast<double>(std::max<std::size_t>(1, problem.target_db.size()));
  const double top = std::round(mean / 10) * 10 + kPlotHeadroomDb;
  const auto y_of = [&](double db) {
    return static_cast<int>(std::clamp((top - db) / kPlotSpanDb, -0.1, 1.1) * (size.height() - 1));
  };
  p.setPen(QColor(64, 64, 64));
  p.setFont(QFont(QStringLiteral("Arial"), 8));
  for (int db = static_cast<int>(top) - 10; db > top - kPlotSpanDb; db -= 10) {
    p.drawLine(0, y_of(db), size.width(), y_of(db));
  }
  for (double hz : {20.0, 50.0, 100.0, 200.0, 500.0, 1000.0, 2000.0, 5000.0, 10000.0, 20000.0}) {
    if (hz < low || hz > problem.hz.back()) continue;
    const int x = static_cast<int>(std::log2(hz / low) / octaves * (size.width() - 1));
    p.setPen(QColor(64, 64, 64));
    p.drawLine(x, 0, x, size.height());
    p.setPen(QColor(160, 160, 160));
    p.drawText(x + 2, size.height() - 4, QStringLiteral("%1 Hz").arg(hz));
  }
  p.setPen(QColor(160, 160, 160));
  for (int db = static_cast<int>(top) - 10; db > top - kPlotSpanDb; db -= 10) {
    p.drawText(2, y_of(db) - 2, QStringLiteral("%1 dB SPL").arg(db));
  }
  const auto line = [&](const std::vector<double>& db, const QPen& pen) {
    QPolygon polygon;
    for (std::size_t i = 0; i < db.size() && i < problem.hz.size(); ++i) {
      if (!std::isfinite(db[i])) continue;
      const double x = std::log2(problem.hz[i] / low) / octaves * (size.width() - 1);
      polygon.append(QPoint(static_cast<int>(x), y_of(db[i])));
    }
    p.setPen(pen);
    p.drawPolyline(polygon);
  };
  line(problem.measured_db, QPen(kMeasurementColor, 1));
  line(problem.target_db, QPen(kTargetColor, 1, Qt::DashLine));
  line(PredictedOnGrid(problem, problem.bands), QPen(QColor(255, 0, 0), 1));
  line(PredictedOnGrid(problem, result.bands), QPen(kPredictedColor, 2));
  return image;
}

FitDialog::FitDialog(const ParameterModel& model, int channel, MeasuredResponse measured,
                     const TargetSpec& target, const FitSettings& settings, QWidget* parent)
    : QDialog(parent),
      model_(model),
      channel_(channel),
      measured_(std::move(measured)),
      target_(target) {
  setObjectName(QStringLiteral("FitDialog"));
  setWindowTitle(QStringLiteral("Fit %1's EQ to a target").arg(Text(kChannelCaptions[channel])));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(BuildSettings());
  layout->addWidget(BuildTarget());
  error_text_ = new QLabel(this);
  error_text_->setObjectName(QStringLiteral("FitErrorText"));
  layout->addWidget(error_text_);
  layout->addWidget(BuildCurves());
  layout->addWidget(BuildTable());
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
  apply_ = buttons->addButton(QStringLiteral("Apply"), QDialogButtonBox::AcceptRole);
  apply_->setObjectName(QStringLiteral("FitApply"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);

  low_hz_->setValue(static_cast<int>(settings.low_hz));
  high_hz_->setValue(static_cast<int>(settings.high_hz));
  max_boost_->setValue(settings.max_boost_db);
  for (int i = 0; i < kBandsPerChannel; ++i) free_[i]->setChecked(settings.free[i]);
  shelves_->setChecked(settings.allow_shelves);
  Fit();
  ConnectSettings();
}

void FitDialog::ConnectSettings() {
  // Connected after the values are in, so that setting them fits once, not once each.
  for (QSpinBox* box : {low_hz_, high_hz_, house_hz_}) {
    connect(box, &QSpinBox::valueChanged, this, &FitDialog::Fit);
  }
  for (QDoubleSpinBox* box : {max_boost_, tilt_, house_db_}) {
    connect(box, &QDoubleSpinBox::valueChanged, this, &FitDialog::Fit);
  }
  for (QCheckBox* box : findChildren<QCheckBox*>()) {
    connect(box, &QCheckBox::toggled, this, &FitDialog::Fit);
  }
  connect(target_list_, &QComboBox::currentIndexChanged, this, &FitDialog::Fit);
  connect(target_file_, &QPushButton::clicked, this, &FitDialog::ChooseTargetFile);
}

QWidget* FitDialog::BuildCurves() {
  auto* box = new QWidget(this);
  auto* box_layout = new QVBoxLayout(box);
  box_layout->setContentsMargins(0, 0, 0, 0);
  plot_ = new QLabel(box);
  plot_->setObjectName(QStringLiteral("FitPlot"));
  plot_->setToolTip(
      QStringLiteral("Measurement (green), target (dashed), predicted before (red) and "
                     "after the fit (white)"));
  box_layout->addWidget(plot_);
  auto* legend =
      new QLabel(QStringLiteral("<span style='color:%1'>━ measured</span> &nbsp; "
                                "<span style='color:%2'>┅ target</span> &nbsp; "
                                "<span style='color:#ff0000'>━ predicted now</span> &nbsp; "
                                "<b>━ predicted with the fit</b>")
                     .arg(kMeasurementColor.darker(130).name(), QColor(112, 112, 112).name()),
                 box);
  legend->setObjectName(QStringLiteral("FitLegend"));
  box_layout->addWidget(legend);
  return box;
}

QTableWidget* FitDialog::BuildTable() {
  const QStringList heads = {QStringLiteral("Band"), QStringLiteral("Type"),
                             QStringLiteral("Frequency (Hz)"), QStringLiteral("Gain (dB)"),
                             QStringLiteral("Q")};
  table_ = new QTableWidget(kBandsPerChannel, heads.size(), this);
  table_->setObjectName(QStringLiteral("FitBands"));
  table_->setHorizontalHeaderLabels(heads);
  table_->verticalHeader()->hide();
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionMode(QAbstractItemView::NoSelection);
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  // All eight rows at once, without a scroll bar.
  const int row_height = table_->fontMetrics().height() + 6;
  table_->verticalHeader()->setMinimumSectionSize(row_height);
  table_->verticalHeader()->setDefaultSectionSize(row_height);
  table_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  table_->setFixedHeight(table_->horizontalHeader()->sizeHint().height() +
                         kBandsPerChannel * row_height + 2 * table_->frameWidth());
  return table_;
}

QWidget* FitDialog::BuildSettings() {
  auto* box = new QWidget(this);
  auto* grid = new QGridLayout(box);
  grid->setContentsMargins(0, 0, 0, 0);
  low_hz_ = HzBox(box, 20, 19000, 20, "FitLowHz");
  high_hz_ = HzBox(box, 25, 20000, 500, "FitHighHz");
  auto* range = new QHBoxLayout();
  range->addWidget(low_hz_);
  range->addWidget(new QLabel(QStringLiteral("to"), box));
  range->addWidget(high_hz_);
  range->addStretch();
  grid->addWidget(new QLabel(QStringLiteral("Fit range"), box), 0, 0);
  grid->addLayout(range, 0, 1);
  max_boost_ = DbBox(box, 0, 12, 3, "FitMaxBoost");
  max_boost_->setSuffix(QStringLiteral(" dB"));
  max_boost_->setToolTip(
      QStringLiteral("The whole EQ, all bands together, never rises above this in the range"));
  grid->addWidget(new QLabel(QStringLiteral("Maximum boost"), box), 1, 0);
  grid->addWidget(max_boost_, 1, 1, Qt::AlignLeft);
  auto* bands = new QHBoxLayout();
  for (int i = 0; i < kBandsPerChannel; ++i) {
    free_[i] = new QCheckBox(QString::number(i + 1), box);
    free_[i]->setObjectName(QStringLiteral("FitFreeBand%1").arg(i + 1));
    free_[i]->setToolTip(QStringLiteral("Ticked: the fit may change band %1; "
                                        "unticked: it is kept as it is")
                             .arg(i + 1));
    bands->addWidget(free_[i]);
  }
  bands->addStretch();
  grid->addWidget(new QLabel(QStringLiteral("Bands to fit"), box), 2, 0);
  grid->addLayout(bands, 2, 1);
  shelves_ = new QCheckBox(QStringLiteral("Shelves may be used"), box);
  shelves_->setObjectName(QStringLiteral("FitShelves"));
  grid->addWidget(shelves_, 3, 1);
  return box;
}

QWidget* FitDialog::BuildTarget() {
  auto* box = new QWidget(this);
  auto* row = new QHBoxLayout(box);
  row->setContentsMargins(0, 0, 0, 0);
  row->addWidget(new QLabel(QStringLiteral("Target"), box));
  target_list_ = new DropDownList(box);
  target_list_->setObjectName(QStringLiteral("FitTargetList"));
  target_list_->addItems({QStringLiteral("Flat"), QStringLiteral("Tilt"),
                          QStringLiteral("House curve"), QStringLiteral("File")});
  row->addWidget(target_list_);
  tilt_ = DbBox(box, -3, 3, target_.tilt_db_per_octave, "FitTilt");
  tilt_->setSingleStep(0.1);
  tilt_->setSuffix(QStringLiteral(" dB/octave"));
  row->addWidget(tilt_);
  house_db_ = DbBox(box, 0, 20, target_.house_db > 0 ? target_.house_db : 6, "FitHouseDb");
  house_db_->setPrefix(QStringLiteral("+"));
  house_db_->setSuffix(QStringLiteral(" dB below"));
  row->addWidget(house_db_);
  house_hz_ = HzBox(box, 20, 2000, target_.house_hz > 0 ? static_cast<int>(target_.house_hz) : 80,
                    "FitHouseHz");
  row->addWidget(house_hz_);
  target_file_ = new QPushButton(QStringLiteral("Choose file…"), box);
  target_file_->setObjectName(QStringLiteral("FitTargetFile"));
  row->addWidget(target_file_);
  row->addStretch();
  target_list_->setCurrentIndex(static_cast<int>(target_.kind));
  return box;
}

FitSettings FitDialog::Settings() const {
  FitSettings settings;
  settings.low_hz = low_hz_->value();
  settings.high_hz = high_hz_->value();
  settings.max_boost_db = max_boost_->value();
  for (int i = 0; i < kBandsPerChannel; ++i) settings.free[i] = free_[i]->isChecked();
  settings.allow_shelves = shelves_->isChecked();
  return settings;
}

void FitDialog::Fit() {
  auto kind = static_cast<TargetKind>(std::max(0, target_list_->currentIndex()));
  // A file target needs a file first; until one is read the dialog offers the button.
  if (kind == TargetKind::kFile && target_.file.points.size() < 2) kind = TargetKind::kFlat;
  target_.kind = kind;
  target_.tilt_db_per_octave = tilt_->value();
  target_.house_db = house_db_->value();
  target_.house_hz = house_hz_->value();
  const int index = target_list_->currentIndex();
  tilt_->setVisible(index == static_cast<int>(TargetKind::kTilt));
  house_db_->setVisible(index == static_cast<int>(TargetKind::kHouse));
  house_hz_->setVisible(index == static_cast<int>(TargetKind::kHouse));
  target_file_->setVisible(index == static_cast<int>(TargetKind::kFile));

  const FitSettings settings = Settings();
  if (settings.low_hz >= settings.high_hz) {
    error_text_->setText(QStringLiteral("The fit range must rise: %1 Hz is not below %2 Hz.")
                             .arg(settings.low_hz)
                             .arg(settings.high_hz));
    apply_->setEnabled(false);
    return;
  }
  problem_ = MakeFitProblem(model_, channel_, measured_, target_, settings);
  result_ = FitEq(problem_, settings);
  ShowResult();
}

void FitDialog::ShowResult() {
  const FitSettings settings = Settings();
  error_text_->setText(
      QStringLiteral("RMS error from target over %1–%2 Hz: %3 dB before, %4 dB after the fit.")
          .arg(settings.low_hz)
          .arg(settings.high_hz)
          .arg(result_.rms_before_db, 0, 'f', 2)
          .arg(result_.rms_after_db, 0, 'f', 2));
  apply_->setEnabled(true);
  for (int i = 0; i < kBandsPerChannel; ++i) {
    const FitBandText row = FitBandRow(result_.bands[i]);
    const QString band =
        settings.free[i] ? QString::number(i + 1) : QStringLiteral("%1 (kept)").arg(i + 1);
    const QString cells[] = {band, row.type, row.frequency, row.gain, row.q};
    for (int c = 0; c < table_->columnCount(); ++c) {
      table_->setItem(i, c, new QTableWidgetItem(cells[c]));
    }
  }
  plot_->setPixmap(QPixmap::fromImage(DrawFitPlot(problem_, result_, {560, 200})));
}

void FitDialog::ChooseTargetFile() {
  if (!choose_target_file_) return;
  // The file dialog answers later; the dialog may be gone by then.
  choose_target_file_([self = QPointer<FitDialog>(this)](MeasuredResponse target) {
    if (self.isNull()) return;
    self->target_.file = std::move(target);
    self->target_list_->setCurrentIndex(static_cast<int>(TargetKind::kFile));
    self->Fit();
  });
}

}  // namespace veltrane
