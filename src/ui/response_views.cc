#include "ui/response_views.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "ui/drop_down_list.h"
#include "ui/response_graph.h"
#include "ui/widget_colors.h"

namespace veltrane {
namespace {

const QColor kSumCurve(255, 255, 255);

int ToPixel(double y) {
  if (std::isnan(y)) return kOffGraphPixel;
  return static_cast<int>(
      std::lround(std::clamp(y, -double{kOffGraphPixel}, double{kOffGraphPixel})));
}

// Labels beside grid rows first_row.. (0-based), one value a row.
std::vector<QString> RowLabels(GraphView view) {
  if (view == GraphView::kPhase) {
    return {QString(),
            QStringLiteral("+180°"),
            QStringLiteral("+120°"),
            QStringLiteral("+60°"),
            QStringLiteral("0°"),
            QStringLiteral("-60°"),
            QStringLiteral("-120°"),
            QStringLiteral("-180°")};
  }
  std::vector<QString> labels;
  for (int ms = 14; ms >= 0; ms -= 2) labels.push_back(QStringLiteral("%1ms").arg(ms));
  return labels;
}

}  // namespace

int PhaseToY(double degrees, int height) {
  const std::array<int, kGridRowCount> rows = GridRows(height);
  return ToPixel(rows[1] + (180 - degrees) / 360 * (rows[7] - rows[1]));
}

int GroupDelayToY(double ms, int height) {
  const std::array<int, kGridRowCount> rows = GridRows(height);
  return ToPixel(rows[7] - ms / 14 * (rows[7] - rows[0]));
}

QImage DrawViewGrid(GraphView view, int width, int height) {
  QImage grid = DrawGraphGrid(width, height);
  if (view == GraphView::kLevel || view == GraphView::kSum) return grid;
  QPainter p(&grid);
  const std::vector<GridLabel> old = GridLabels(&grid);
  // The first ten labels are the level's; the frequency labels stay.
  for (std::size_t i = 0; i < 10 && i < old.size(); ++i) p.fillRect(old[i].box, Qt::black);
  p.setPen(QPen(kGraphFrameGrey, 1));
  p.drawLine(41, 17, 41, height - 25);
  p.setFont(GridLabelFont());
  const QFontMetrics metrics(GridLabelFont(), &grid);
  const std::array<int, kGridRowCount> rows = GridRows(height);
  const std::vector<QString> labels = RowLabels(view);
  for (int r = 0; r < kGridRowCount; ++r) {
    if (labels[r].isEmpty()) continue;
    const int w = metrics.horizontalAdvance(labels[r]);
    const QRect box(std::max(1, 38 - w), rows[r] - metrics.height() / 2, w, metrics.height());
    p.fillRect(box, kGraphLabelBackground);
    p.setPen(kGraphLabelText);
    p.drawText(box, Qt::AlignLeft | Qt::AlignTop, labels[r]);
  }
  return grid;
}

std::vector<QPolygon> CurvePolylines(std::span<const ComplexPoint> curve, GraphView view) {
  std::vector<QPolygon> lines(1);
  double last_phase = 0;
  for (std::size_t i = 0; i < curve.size(); ++i) {
    const ComplexPoint& point = curve[i];
    const int x = kFirstCurveColumn + static_cast<int>(i);
    bool gap = point.h == std::complex<double>(0, 0);
    int y = 0;
    if (!gap && view == GraphView::kPhase) {
      const double phase = PhaseDegrees(point);
      // A wrap from +180 to -180 is no step of the response.
      if (!lines.back().isEmpty() && std::abs(phase - last_phase) > 180) lines.emplace_back();
      last_phase = phase;
      y = PhaseToY(phase, kGraphHeight);
    } else if (!gap && view == GraphView::kGroupDelay) {
      const double ms = GroupDelayMs(point);
      gap = std::isnan(ms);
      y = GroupDelayToY(ms, kGraphHeight);
    } else if (!gap) {
      y = TotalToY(LevelDb(point));
    }
    if (gap) {
      if (!lines.back().isEmpty()) lines.emplace_back();
      continue;
    }
    lines.back().append(QPoint(x, y));
  }
  if (lines.back().isEmpty()) lines.pop_back();
  return lines;
}

ResponseViews::ResponseViews() : columns_(CurveColumnFrequencies()) {}

std::vector<int> ResponseViews::SummedChannels() const {
  std::vector<int> channels;
  for (int i = 0; i < kOutputCount; ++i) {
    if (summed_[i]) channels.push_back(kOut1 + i);
  }
  return channels;
}

void ResponseViews::Render(QImage& image, const ViewScene& scene) {
  QImage& grid = grids_[static_cast<int>(view_)];
  if (grid.isNull()) grid = DrawViewGrid(view_, kGraphWidth, kGraphHeight);
  image = grid;
  if (scene.model == nullptr) return;
  QPainter p(&image);
  if (view_ == GraphView::kSum) {
    DrawSum(p, scene);
  } else {
    DrawChannels(p, scene);
  }
  if (scene.single_channel >= 0 && scene.points != nullptr) {
    DrawBandPoints(p, *scene.points, scene.single_channel);
  }
}

void ResponseViews::DrawChannels(QPainter& p, const ViewScene& scene) {
  for (int channel = 0; channel < kChannelCount; ++channel) {
    const bool single = scene.single_channel >= 0;
    if (single ? channel != scene.single_channel : !scene.visible[channel]) continue;
    p.setPen(QPen(single ? kSingleCurveRed : CurveColor(channel), scene.pen_width));
    const std::vector<ComplexPoint> curve =
        EvaluateCurve(ChannelProcessingOf(*scene.model, channel), columns_);
    for (const QPolygon& line : CurvePolylines(curve, view_)) p.drawPolyline(line);
  }
}

void ResponseViews::DrawSum(QPainter& p, const ViewScene& scene) {
  const std::vector<int> channels = SummedChannels();
  const OutputCurves curves = ComputeOutputCurves(*scene.model, channels, columns_);
  for (std::size_t i = 0; i < curves.outputs.size(); ++i) {
    p.setPen(QPen(CurveColor(curves.outputs[i]), 1));
    for (const QPolygon& line : CurvePolylines(curves.each[i], GraphView::kSum)) {
      p.drawPolyline(line);
    }
  }
  p.setPen(QPen(kSumCurve, 2));
  for (const QPolygon& line : CurvePolylines(curves.sum, GraphView::kSum)) p.drawPolyline(line);
}

GraphViewBar::GraphViewBar(ResponseViews& views, QWidget* parent) : QWidget(parent), views_(views) {
  setObjectName(QStringLiteral("GraphViewBar"));
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  list_ = new DropDownList(this);
  list_->setObjectName(QStringLiteral("GraphViewList"));
  list_->addItems({QStringLiteral("Level"), QStringLiteral("Phase"), QStringLiteral("Group delay"),
                   QStringLiteral("Sum")});
  list_->setToolTip(QStringLiteral("What the graph shows"));
  layout->addWidget(list_);
  for (int i = 0; i < kOutputCount; ++i) {
    boxes_[i] = new QCheckBox(
        QString::fromLatin1(kChannelCaptions[kOut1 + i].data(),
                            static_cast<qsizetype>(kChannelCaptions[kOut1 + i].size())),
        this);
    boxes_[i]->setObjectName(QStringLiteral("SumOutputBox%1").arg(i + 1));
    boxes_[i]->setChecked(views_.Summed(i));
    boxes_[i]->setToolTip(QStringLiteral("Part of the sum"));
    boxes_[i]->hide();
    layout->addWidget(boxes_[i]);
    connect(boxes_[i], &QCheckBox::toggled, this, [this, i](bool on) {
      views_.SetSummed(i, on);
      emit Changed();
    });
  }
  layout->addStretch();
  connect(list_, &QComboBox::currentIndexChanged, this, [this](int index) {
    views_.SetView(static_cast<GraphView>(index));
    // Out 4 has no curve in the main window, so it has no box there either.
    for (int i = 0; i < kOutputCount - 1; ++i) boxes_[i]->setVisible(index == 3);
    emit Changed();
  });
}

}  // namespace veltrane
