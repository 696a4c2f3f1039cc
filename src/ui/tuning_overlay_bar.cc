#include "ui/tuning_overlay_bar.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QPainter>
#include <QSignalBlocker>
#include <algorithm>

#include "ui/drop_down_list.h"
#include "ui/tuning_overlay.h"

namespace veltrane {
namespace {

QIcon Swatch(const QPen& pen) {
  QPixmap pixmap(22, 10);
  pixmap.fill(Qt::black);
  QPainter p(&pixmap);
  p.setPen(pen);
  p.drawLine(1, 5, 20, 5);
  return QIcon(pixmap);
}

}  // namespace

std::vector<Smoothing> SmoothingChoices() {
  std::vector<Smoothing> choices = {{SmoothingKind::kNone, 6}};
  for (int fraction : {48, 24, 12, 6, 3, 2, 1}) {
    choices.push_back({SmoothingKind::kFractionalOctave, fraction});
  }
  choices.push_back({SmoothingKind::kVariable, 6});
  return choices;
}

QString SmoothingName(const Smoothing& smoothing) {
  switch (smoothing.kind) {
    case SmoothingKind::kNone:
      return QStringLiteral("No smoothing");
    case SmoothingKind::kFractionalOctave:
      return QStringLiteral("1/%1 octave").arg(smoothing.fraction);
    case SmoothingKind::kVariable:
      return QStringLiteral("Variable");
  }
  return {};
}

TuningOverlayBar::TuningOverlayBar(TuningOverlay& overlay, QWidget* parent)
    : QWidget(parent), overlay_(overlay) {
  setObjectName(QStringLiteral("TuningOverlayBar"));
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(6);
  layout->addStretch();
  const std::array<const char*, 3> names = {"Measured", "Target", "Predicted"};
  const std::array<QPen, 3> pens = {QPen(kMeasurementColor, 1), QPen(kTargetColor, 1, Qt::DashLine),
                                    QPen(kPredictedColor, 2)};
  for (int i = 0; i < 3; ++i) {
    boxes_[i] = new QCheckBox(QString::fromLatin1(names[i]), this);
    boxes_[i]->setObjectName(QStringLiteral("Overlay%1Box").arg(QLatin1String(names[i])));
    boxes_[i]->setIcon(Swatch(pens[i]));
    boxes_[i]->setChecked(overlay_.Shown(static_cast<OverlayCurve>(i)));
    layout->addWidget(boxes_[i]);
    connect(boxes_[i], &QCheckBox::toggled, this, [this, i](bool on) {
      overlay_.SetShown(static_cast<OverlayCurve>(i), on);
      emit CurvesChanged();
    });
  }
  boxes_[0]->setToolTip(
      QStringLiteral("The measurement, smoothed; its scale in dB SPL is at the right"));
  boxes_[1]->setToolTip(
      QStringLiteral("The target, level-aligned to the measurement over the fit range"));
  boxes_[2]->setToolTip(
      QStringLiteral("The measurement through this channel's EQ, crossover and gain"));
  smoothing_ = new DropDownList(this);
  smoothing_->setObjectName(QStringLiteral("SmoothingList"));
  smoothing_->setToolTip(QStringLiteral("Smoothing of the measurement shown and fitted"));
  for (const Smoothing& choice : SmoothingChoices()) smoothing_->addItem(SmoothingName(choice));
  layout->addWidget(smoothing_);
  connect(smoothing_, &QComboBox::currentIndexChanged, this, [this](int index) {
    const std::vector<Smoothing> choices = SmoothingChoices();
    if (index >= 0 && index < static_cast<int>(choices.size()))
      emit SmoothingChosen(choices[index]);
  });
}

void TuningOverlayBar::ShowSmoothing(const Smoothing& smoothing) {
  const std::vector<Smoothing> choices = SmoothingChoices();
  const auto found = std::find_if(choices.begin(), choices.end(), [&](const Smoothing& choice) {
    // The fraction means nothing to the kinds without one.
    return choice.kind == smoothing.kind && (smoothing.kind != SmoothingKind::kFractionalOctave ||
                                             choice.fraction == smoothing.fraction);
  });
  const QSignalBlocker blocker(smoothing_);
  smoothing_->setCurrentIndex(found == choices.end() ? 0
                                                     : static_cast<int>(found - choices.begin()));
}

}  // namespace veltrane
