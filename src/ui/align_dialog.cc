#include "ui/align_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPainter>
#include <QPolygon>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "model/tables.h"
#include "ui/drop_down_list.h"

namespace veltrane {
namespace {

QString Caption(int channel) {
  const std::string_view caption = kChannelCaptions[channel];
  return QString::fromLatin1(caption.data(), static_cast<qsizetype>(caption.size()));
}

QString Setting(int channel, int polarity, int delay_steps) {
  return QStringLiteral("%1 %2, %3")
      .arg(Caption(channel), polarity ? QStringLiteral("Pol-") : QStringLiteral("Pol+"),
           QString::fromStdString(FormatDelay(delay_steps)));
}

QPolygon LevelLine(std::span<const ComplexPoint> curve, std::span<const double> hz, double low_hz,
                   QSize size) {
  QPolygon line;
  for (std::size_t i = 0; i < curve.size(); ++i) {
    const double x = std::log2(hz[i] / low_hz) / 4 * (size.width() - 1);
    const double db = std::clamp(LevelDb(curve[i]), -40.0, 20.0);
    line.append(
        QPoint(static_cast<int>(x), static_cast<int>((10 - db) / 40 * (size.height() - 1))));
  }
  return line;
}

}  // namespace

int AlignPairOf(int channel) { return channel == kOut3 ? 1 : 0; }

QString AlignmentText(const AlignmentResult& result) {
  if (!result.suggestion) {
    return result.error == AlignmentError::kSilent
               ? QStringLiteral(
                     "One of these outputs is muted or fed by no input: there is no "
                     "sum to align.")
               : QStringLiteral(
                     "The levels of these outputs do not cross between 20 Hz and "
                     "20 kHz: set their crossover first.");
  }
  const AlignmentSuggestion& s = *result.suggestion;
  return QStringLiteral(
             "Crossover at %1 Hz.\nSuggested: %2; %3.\n"
             "Sum over the octave around it: %4 dB peak to peak before, %5 dB after.")
      .arg(s.crossover_hz, 0, 'f', 0)
      .arg(Setting(s.outputs[0], s.polarity[0], s.delay_steps[0]),
           Setting(s.outputs[1], s.polarity[1], s.delay_steps[1]))
      .arg(s.flatness_before_db, 0, 'f', 1)
      .arg(s.flatness_after_db, 0, 'f', 1);
}

QImage DrawAlignmentPlot(const ParameterModel& model, const AlignmentSuggestion& suggestion,
                         QSize size) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(Qt::black);
  QPainter p(&image);
  const double low = suggestion.crossover_hz / 4;
  const std::vector<double> hz = LogFrequencies(low, suggestion.crossover_hz * 4, 48);
  const double octave_left = (size.width() - 1) * 1.5 / 4;
  p.fillRect(QRectF(octave_left, 0, (size.width() - 1) / 4.0, size.height()), QColor(40, 40, 40));
  p.setPen(QColor(64, 64, 64));
  for (int db = 0; db >= -30; db -= 10) {
    const int y = (10 - db) * (size.height() - 1) / 40;
    p.drawLine(0, y, size.width(), y);
  }
  // Labels: the level rows at the left, half, once and twice the crossover at the bottom.
  p.setPen(QColor(160, 160, 160));
  for (int db = 0; db >= -30; db -= 10) {
    p.drawText(2, (10 - db) * (size.height() - 1) / 40 - 2, QStringLiteral("%1 dB").arg(db));
  }
  for (int k = -1; k <= 1; ++k) {
    const double hz = suggestion.crossover_hz * std::exp2(k);
    const int x = (size.width() - 1) * (2 + k) / 4;
    p.drawLine(x, size.height() - 16, x, size.height());
    p.drawText(x + 3, size.height() - 4, QStringLiteral("%1 Hz").arg(hz, 0, 'f', 0));
  }
  const std::span<const int> pair(suggestion.outputs);
  p.setPen(QPen(QColor(255, 0, 0), 1));
  p.drawPolyline(LevelLine(SumOfOutputs(model, pair, hz), hz, low, size));
  p.setPen(QPen(QColor(255, 255, 255), 2));
  p.drawPolyline(
      LevelLine(SumOfOutputs(WithAlignment(model, suggestion), pair, hz), hz, low, size));
  return image;
}

AlignOutputsDialog::AlignOutputsDialog(const ParameterModel& model, int channel, QWidget* parent)
    : QDialog(parent), model_(model) {
  setObjectName(QStringLiteral("AlignOutputsDialog"));
  setWindowTitle(QStringLiteral("Align outputs"));
  auto* layout = new QVBoxLayout(this);
  pair_list_ = new DropDownList(this);
  pair_list_->setObjectName(QStringLiteral("AlignPairList"));
  for (const auto& [upper, lower] : kAlignPairs) {
    pair_list_->addItem(QStringLiteral("%1 and %2").arg(Caption(upper), Caption(lower)));
  }
  pair_list_->setCurrentIndex(AlignPairOf(channel));
  layout->addWidget(pair_list_);
  text_ = new QLabel(this);
  text_->setObjectName(QStringLiteral("AlignText"));
  layout->addWidget(text_);
  plot_ = new QLabel(this);
  plot_->setObjectName(QStringLiteral("AlignPlot"));
  plot_->setToolTip(
      QStringLiteral("The sum before (red) and after (white); the shaded octave "
                     "is where the flatness is judged"));
  layout->addWidget(plot_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
  apply_ = buttons->addButton(QStringLiteral("Apply"), QDialogButtonBox::AcceptRole);
  apply_->setObjectName(QStringLiteral("AlignApply"));
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(pair_list_, &QComboBox::currentIndexChanged, this, [this] { Suggest(); });
  Suggest();
}

void AlignOutputsDialog::Suggest() {
  const auto& [first, second] = kAlignPairs[std::max(0, pair_list_->currentIndex())];
  result_ = SuggestAlignment(model_, first, second);
  text_->setText(AlignmentText(result_));
  apply_->setEnabled(result_.suggestion.has_value());
  if (result_.suggestion) {
    plot_->setPixmap(
        QPixmap::fromImage(DrawAlignmentPlot(model_, *result_.suggestion, {480, 160})));
  } else {
    plot_->clear();
  }
}

}  // namespace veltrane
