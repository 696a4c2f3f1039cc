#include "ui/response_graph.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "model/tables.h"
#include "ui/response_views.h"
#include "ui/tuning_overlay.h"
#include "ui/widget_colors.h"

namespace veltrane {
namespace {

const QColor kGridBlack(0, 0, 0);
const QColor kGridGrey(64, 64, 64);

// Point sizes are meant for a 96 dpi screen; a QImage defaults to 72.
constexpr int kDotsPerMeter96Dpi = 3780;

// Band numbers sit above a point in the upper part of the graph, below it further down.
constexpr int kNumberBelowFromY = 117;

struct Label {
  const char* text;
  int x;
  int y;
};

constexpr std::array<Label, 10> kLevelLabels = {{{"+15dB", 4, 10},
                                                 {"+10dB", 4, 33},
                                                 {"+5dB", 8, 56},
                                                 {"0dB", 12, 79},
                                                 {"-5dB", 9, 102},
                                                 {"-10dB", 6, 126},
                                                 {"-15dB", 6, 149},
                                                 {"-20dB", 6, 172},
                                                 {"-25dB", 6, 195},
                                                 {"-30dB", 6, 218}}};
constexpr int kFreqLabelY = 226;
constexpr std::array<Label, 10> kFreqLabels = {{{"20Hz", 110, kFreqLabelY},
                                                {"50Hz", 211, kFreqLabelY},
                                                {"100Hz", 285, kFreqLabelY},
                                                {"200Hz", 362, kFreqLabelY},
                                                {"500Hz", 463, kFreqLabelY},
                                                {"1KHz", 542, kFreqLabelY},
                                                {"2KHz", 619, kFreqLabelY},
                                                {"5KHz", 721, kFreqLabelY},
                                                {"10KHz", 796, kFreqLabelY},
                                                {"20KHz", 873, kFreqLabelY}}};

int InsetLeft(int width) { return static_cast<int>((width - 46) * 0.09); }
int InsetRight(int width) { return static_cast<int>((width - 46) * 0.05); }

// A one-pixel line that leaves out its end point, as the grid has always been drawn: a
// grid line ending on the frame does not paint over it. Horizontal or vertical only.
void LineWithoutEnd(QPainter& p, int x0, int y0, int x1, int y1) {
  if (y0 == y1) {
    if (x0 == x1) return;
    const int last = x1 > x0 ? x1 - 1 : x1 + 1;
    p.drawLine(x0, y0, last, y1);
  } else {
    const int last = y1 > y0 ? y1 - 1 : y1 + 1;
    p.drawLine(x0, y0, x1, last);
  }
}

}  // namespace

QFont GridLabelFont() {
  QFont font(QStringLiteral("Arial"));
  font.setPointSize(8);
  return font;
}

std::vector<GridLabel> GridLabels(const QPaintDevice* device) {
  const QFontMetrics metrics(GridLabelFont(), device);
  std::vector<GridLabel> labels;
  labels.reserve(kLevelLabels.size() + kFreqLabels.size());
  for (const auto* table : {&kLevelLabels, &kFreqLabels}) {
    for (const Label& label : *table) {
      const QString text = QString::fromLatin1(label.text);
      labels.push_back(
          {text, QRect(label.x, label.y, metrics.horizontalAdvance(text), metrics.height())});
    }
  }
  return labels;
}

std::array<int, kGridRowCount> GridRows(int height) {
  std::array<int, kGridRowCount> rows{};
  for (int j = 1; j <= kGridRowCount; ++j) {
    rows[j - 1] = static_cast<int>((height - 40) / 9.0 * j) + 17;
  }
  return rows;
}

int GridLineX(double hz, int width) {
  const int left = InsetLeft(width);
  const int right = InsetRight(width);
  return static_cast<int>(std::log10(hz / 20) * ((width - left - right - 47) / 3.0)) + left + 41;
}

BandPoint DragTarget(BandPoint current, QPoint mouse) {
  const bool x_in = mouse.x() >= kDragMinX && mouse.x() <= kDragMaxX;
  const bool y_in = mouse.y() >= kDragMinY && mouse.y() <= kDragMaxY;
  BandPoint target = current;
  if (x_in) target.x = mouse.x();
  if (y_in) target.y = mouse.y();
  return target;
}

int HitBandPoint(const BandPoints& points, int channel, QPoint mouse) {
  if (channel < 0 || channel >= kChannelCount) return -1;
  for (int number = 0; number < kBandsPerChannel; ++number) {
    const BandPoint& point = points[BandId(channel, number)];
    if (std::abs(mouse.x() - point.x) < 8 && std::abs(mouse.y() - point.y) < 8) {
      return BandId(channel, number);
    }
  }
  return -1;
}

QColor BandColor(int band_number) {
  static const std::array<QColor, kBandsPerChannel> kColors = {
      QColor(201, 97, 65), QColor(205, 145, 17), QColor(205, 205, 65), QColor(145, 205, 33),
      QColor(76, 241, 20), QColor(33, 205, 65),  QColor(20, 255, 180), QColor(20, 255, 255)};
  return kColors[band_number];
}

QImage DrawGraphGrid(int width, int height) {
  QImage grid(width, height, QImage::Format_RGB32);
  grid.setDotsPerMeterX(kDotsPerMeter96Dpi);
  grid.setDotsPerMeterY(kDotsPerMeter96Dpi);
  grid.fill(kGridBlack);

  QPainter p(&grid);
  p.setRenderHint(QPainter::Antialiasing, false);
  const int right = width - 6;
  const int bottom = height - 24;

  p.setPen(QPen(kGraphFrameGrey, 1));
  LineWithoutEnd(p, 41, 17, right, 17);
  LineWithoutEnd(p, right, 17, right, bottom);
  LineWithoutEnd(p, right, bottom, 41, bottom);
  LineWithoutEnd(p, 41, bottom, 41, 17);

  p.setPen(QPen(kGridGrey, 1));
  for (int row : GridRows(height)) LineWithoutEnd(p, 42, row, right, row);

  // 20, 30 .. 100, 200 .. 1000, 2000 .. 10000 Hz.
  for (double decade = 10; decade <= 1000; decade *= 10) {
    for (int step = decade == 10 ? 2 : 1; step <= 10; ++step) {
      const int x = GridLineX(step * decade, width);
      LineWithoutEnd(p, x, 18, x, bottom);
    }
  }
  const int axis_left = InsetLeft(width) + 41;
  const int axis_right = width - InsetRight(width) - 6;
  LineWithoutEnd(p, axis_left, 18, axis_left, bottom);
  LineWithoutEnd(p, axis_right, 18, axis_right, bottom);

  p.setFont(GridLabelFont());
  p.setPen(kGraphLabelText);
  for (const GridLabel& label : GridLabels(&grid)) {
    p.fillRect(label.box, kGraphLabelBackground);
    p.drawText(label.box, Qt::AlignLeft | Qt::AlignTop, label.text);
  }
  return grid;
}

void DrawChannelTotal(QPainter& painter, const ResponseStore& store, const ParameterModel& model,
                      int channel) {
  QPolygon line;
  line.reserve(kLastCurveColumn - kFirstCurveColumn + 1);
  for (int x = kFirstCurveColumn; x <= kLastCurveColumn; ++x) {
    line.append(QPoint(x, TotalToY(ChannelTotalDb(store, model, channel, x))));
  }
  painter.drawPolyline(line);
}

void DrawBandPoints(QPainter& painter, const BandPoints& points, int channel) {
  for (int number = 0; number < kBandsPerChannel; ++number) {
    const BandPoint& point = points[BandId(channel, number)];
    painter.fillRect(QRect(point.x - 4, point.y - 4, 9, 9), BandColor(number));
  }
  painter.setPen(QColor(255, 255, 255));
  painter.setBackgroundMode(Qt::TransparentMode);
  const QFontMetrics metrics(painter.font(), painter.device());
  for (int number = 0; number < kBandsPerChannel; ++number) {
    const BandPoint& point = points[BandId(channel, number)];
    const int top = point.y < kNumberBelowFromY ? point.y - 18 : point.y + 4;
    const QString text = QString::number(number + 1);
    painter.drawText(QRect(point.x - 2, top, metrics.horizontalAdvance(text), metrics.height()),
                     Qt::AlignLeft | Qt::AlignTop, text);
  }
}

ResponseGraph::ResponseGraph(ParameterModel& model, EditorState& state, QWidget* parent)
    : QWidget(parent), model_(model), state_(state) {
  setObjectName(QStringLiteral("ResponseGraph"));
  setFixedSize(kGraphWidth, kGraphHeight);
  setAttribute(Qt::WA_OpaquePaintEvent);
  title_ = QStringLiteral("show all ");
  grid_ = DrawGraphGrid(kGraphWidth, kGraphHeight);
  pen_width_ = 2;
  // Until the first image or edit there are no curves, only the 0 dB line.
  CopyGrid();
  QPainter p(&image_);
  p.setPen(QPen(kSingleCurveRed, pen_width_, Qt::SolidLine, Qt::FlatCap));
  const int zero_db_row = GridRows(kGraphHeight)[2];
  p.drawLine(42, zero_db_row, kGraphWidth - 6, zero_db_row);
}

void ResponseGraph::UpdateBandPoint(int type) {
  const int band = state_.selected_band;
  if (band < 0 || band >= kBandCount) return;
  points_[band] = PlaceBandPoint(model_.bands[band], type);
  CopyGrid();
  ComputeBandCurve(store_, band, type, points_[band], model_.bands[band].q);
  DrawSingleChannel(ChannelOfBand(band));
  DrawPoints(ChannelOfBand(band));
  Present();
}

void ResponseGraph::CrossoverRedraw(int channel, bool high_pass) {
  if (channel < 0 || channel >= kChannelCount) return;
  state_.crossover_channel = channel;
  const ChannelParams& params = model_.channels[channel];
  const int band_channel = ChannelOfBand(state_.selected_band);
  CopyGrid();
  if (high_pass) {
    ComputeHighPassCurve(store_, channel, params.hp_type, params.hp_freq);
    DrawSingleChannel(band_channel);
  } else {
    ComputeLowPassCurve(store_, channel, params.lp_type, params.lp_freq);
    if (state_.single_channel_mode) {
      DrawSingleChannel(band_channel);
    } else {
      DrawAllCurves();
    }
  }
  DrawPoints(channel);
  Present();
}

void ResponseGraph::RedrawAllCurves() {
  CopyGrid();
  DrawAllCurves();
  Present();
}

void ResponseGraph::FullRecompute() {
  // The band-by-band drawing along the way is overdrawn before anyone could see it, so
  // only the rows and points are computed, then the final all-channels picture.
  veltrane::FullRecompute(store_, model_, points_);
  // Every point has just been placed anew and SelectedBand is about to name the last
  // band, so a drag still held would move a band the user never picked.
  FinishDrag();
  state_.selected_band = kBandCount - 1;
  state_.crossover_channel = kChannelCount - 1;
  RedrawAllCurves();
}

void ResponseGraph::SetTitle(const QString& title) {
  title_ = title;
  emit TitleChanged(title_);
}

void ResponseGraph::SetDetailShown(bool shown) {
  state_.single_channel_mode = shown;
  pen_width_ = shown ? 1 : 2;
  emit LegendEnabledChanged(!shown);
  if (!shown) {
    // Without the single-channel view no point can be dragged.
    FinishDrag();
    SetTitle(QStringLiteral("show all"));
    RedrawAllCurves();
  }
}

void ResponseGraph::SetCurveVisible(int channel, bool visible) {
  if (state_.single_channel_mode || channel < 0 || channel >= kChannelCount) return;
  curve_visible_[channel] = visible;
  RedrawAllCurves();
}

void ResponseGraph::paintEvent(QPaintEvent* /*event*/) {
  QPainter p(this);
  p.drawImage(0, 0, Image());
}

void ResponseGraph::mousePressEvent(QMouseEvent* event) {
  if (!state_.single_channel_mode || state_.shown_channel < 1 ||
      state_.shown_channel > kChannelCount) {
    return;
  }
  const int band = HitBandPoint(points_, state_.shown_channel - 1, event->position().toPoint());
  if (band < 0) return;
  FinishDrag();  // a release the graph never saw (disabled meanwhile) ended the last one
  state_.selected_band = band;
  drag_band_ = band;
  dragging_ = true;
  if (history_ != nullptr) history_->BeginEdit();
}

void ResponseGraph::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_) return;
  // A field of the detail window that commits as its window loses the focus selects its
  // own band after this press; the drag still moves the point that was grabbed.
  state_.selected_band = drag_band_;
  DragTo(event->position().toPoint());
}

void ResponseGraph::mouseReleaseEvent(QMouseEvent* /*event*/) { FinishDrag(); }

void ResponseGraph::FinishDrag() {
  if (!dragging_) return;
  dragging_ = false;
  if (history_ != nullptr) history_->EndEdit();
}

void ResponseGraph::wheelEvent(QWheelEvent* event) {
  const int band = state_.selected_band;
  const QPoint mouse = event->position().toPoint();
  const bool over_selected_point = state_.single_channel_mode && band >= 0 && band < kBandCount &&
                                   ChannelOfBand(band) == state_.shown_channel - 1 &&
                                   std::abs(mouse.x() - points_[band].x) < 8 &&
                                   std::abs(mouse.y() - points_[band].y) < 8;
  if (!over_selected_point) {
    wheel_rest_ = 0;
    event->ignore();
    return;
  }
  event->accept();
  wheel_rest_ += event->angleDelta().y();
  // One Q entry per notch; a fine-grained wheel adds up to whole notches first.
  while (wheel_rest_ >= kWheelNotch || wheel_rest_ <= -kWheelNotch) {
    const int delta = wheel_rest_ > 0 ? 1 : -1;
    wheel_rest_ -= delta * kWheelNotch;
    if (field_sink_ != nullptr) field_sink_->StepBandQ(band, delta);
  }
}

void ResponseGraph::ShowBlocks(const BlockSet& blocks) {
  const bool single = state_.single_channel_mode && state_.shown_channel >= 1 &&
                      state_.shown_channel <= kChannelCount;
  const int shown = single ? state_.shown_channel - 1 : -1;
  int first_shown_band = -1;
  for (int slot = 1; slot <= kParamSlotCount; ++slot) {
    if (!blocks.test(slot - 1)) continue;
    const auto [channel, block] = BlockOfSlot(slot);
    const ChannelParams& params = model_.channels[channel];
    switch (KindOfBlock(channel, block)) {
      case BlockKind::kCrossover:
        ComputeHighPassCurve(store_, channel, params.hp_type, params.hp_freq);
        ComputeLowPassCurve(store_, channel, params.lp_type, params.lp_freq);
        break;
      case BlockKind::kEqBand: {
        const int band_id = BandId(channel, block - FirstEqBlock(channel));
        const BandParams& band = model_.bands[band_id];
        points_[band_id] = PlaceBandPoint(band, band.type);
        ComputeBandCurve(store_, band_id, band.type, points_[band_id], band.q);
        if (channel == shown && first_shown_band < 0) first_shown_band = band_id;
        break;
      }
      default:
        break;  // the gain is read when the totals are drawn; the rest is not drawn
    }
  }
  if (!single) {
    RedrawAllCurves();
    return;
  }
  // The band that changed is the one the Q wheel and the next edit work on.
  if (first_shown_band >= 0) {
    state_.selected_band = first_shown_band;
  } else if (ChannelOfBand(state_.selected_band) != shown) {
    state_.selected_band = BandId(shown, 0);
  }
  CopyGrid();
  DrawSingleChannel(shown);
  DrawPoints(shown);
  Present();
}

void ResponseGraph::DragTo(QPoint mouse) {
  const int band_id = state_.selected_band;
  if (band_id < 0 || band_id >= kBandCount) return;
  BandPoint& point = points_[band_id];
  point = DragTarget(point, mouse);

  BandParams& band = model_.bands[band_id];
  band.freq = static_cast<std::uint8_t>(std::min(XToFreqIndex(point.x), kFreqIndexMax));
  band.ActiveGain() = static_cast<std::uint16_t>(YToEqGainIndex(point.y));
  band.peak_gain = std::min<std::uint16_t>(band.peak_gain, kEqGainIndexMax);
  band.shelf_gain = std::min<std::uint16_t>(band.shelf_gain, kEqGainIndexMax);

  // UpdateBandPoint below starts from a fresh copy of the grid, so none is made here.
  if (field_sink_ != nullptr) {
    field_sink_->ShowDraggedBand(
        band_id, QString::fromStdString(FormatShortest(kFreqTable[band.freq])),
        QString::fromStdString(FormatShortest(kEqGainTable[band.ActiveGain()])));
  }
  UpdateBandPoint(band.type);
  if (slot_sink_ != nullptr) SendEqBandBlock(model_, band_id, *slot_sink_);
}

void ResponseGraph::DrawSingleChannel(int channel) {
  QPainter p(&image_);
  p.setPen(QPen(kSingleCurveRed, pen_width_));
  DrawChannelTotal(p, store_, model_, channel);
}

void ResponseGraph::DrawAllCurves() {
  QPainter p(&image_);
  for (int channel = 0; channel < kChannelCount; ++channel) {
    if (!curve_visible_[channel]) continue;
    p.setPen(QPen(CurveColor(channel), pen_width_));
    DrawChannelTotal(p, store_, model_, channel);
  }
}

void ResponseGraph::DrawPoints(int channel) {
  QPainter p(&image_);
  DrawBandPoints(p, points_, channel);
}

void ResponseGraph::RefreshView() { Present(); }

void ResponseGraph::Present() {
  if (views_ != nullptr && views_->View() != GraphView::kLevel) {
    const bool single = state_.single_channel_mode && state_.shown_channel >= 1 &&
                        state_.shown_channel <= kChannelCount;
    ViewScene scene;
    scene.model = &model_;
    scene.visible = curve_visible_;
    scene.single_channel = single ? state_.shown_channel - 1 : -1;
    scene.pen_width = pen_width_;
    scene.points = &points_;
    views_->Render(view_image_, scene);
    view_shown_ = true;
  } else {
    view_shown_ = PresentOverlay();
  }
  update();
}

bool ResponseGraph::PresentOverlay() {
  // Nothing to draw costs no copy of the picture: every drag move comes through here.
  if (overlay_ == nullptr || !overlay_->HasCurves()) return false;
  // The level picture stays as it is, so the overlay can be switched off without a redraw.
  view_image_ = image_;
  QPainter p(&view_image_);
  if (!overlay_->Draw(p)) return false;
  const bool single = state_.single_channel_mode && state_.shown_channel >= 1 &&
                      state_.shown_channel <= kChannelCount;
  // The points stay on top, where they can be grabbed.
  if (single) DrawBandPoints(p, points_, state_.shown_channel - 1);
  return true;
}

}  // namespace veltrane
