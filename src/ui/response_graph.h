#pragma once

// The response graph of the main window: the grid drawn once, the channel totals in the
// all-channels view, one channel in red with its eight numbered band points while the
// detail window is open, and dragging those points to retune their bands. Geometry and
// drawing are free functions so tests and benchmarks use them without a widget.

#include <QFont>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QWidget>
#include <array>
#include <vector>

#include "model/blocks.h"
#include "model/edit_history.h"
#include "model/parameter_model.h"
#include "response/response_math.h"
#include "ui/editor_state.h"

class QPainter;

namespace veltrane {

class ResponseViews;
class TuningOverlay;

using BandPoints = std::array<BandPoint, kBandCount>;

// --- Geometry ----------------------------------------------------------------------------
inline constexpr int kGridRowCount = 8;
// Rows of the eight horizontal grid lines: 40, 63, 86, ... 202 on a 249-pixel graph.
std::array<int, kGridRowCount> GridRows(int height);
// Column of a vertical grid line (its divisor is one more than the curve mapping's).
int GridLineX(double hz, int width);
// One notch of a mouse wheel in eighths of a degree: one step of a band's Q.
inline constexpr int kWheelNotch = 120;
// A dragged point follows the mouse only inside these columns and rows, each separately.
inline constexpr int kDragMinX = 97;
inline constexpr int kDragMaxX = 920;
inline constexpr int kDragMinY = 32;
inline constexpr int kDragMaxY = 198;
BandPoint DragTarget(BandPoint current, QPoint mouse);
// The first of the channel's bands 1..8 whose point lies strictly within 8 pixels of the
// mouse on both axes, as a BandId; -1 when none.
int HitBandPoint(const BandPoints& points, int channel, QPoint mouse);

// --- Drawing -----------------------------------------------------------------------------
QColor BandColor(int band_number);  // bands 0..7 (shown 1..8)
// The black grid with frame, grid lines and labels.
QImage DrawGraphGrid(int width, int height);
// The level and frequency labels of the grid, each on its own background box. The boxes
// grow with whatever font stands in for "Arial" on the machine.
struct GridLabel {
  QString text;
  QRect box;
};
QFont GridLabelFont();
std::vector<GridLabel> GridLabels(const QPaintDevice* device);
// A channel's total, column 42 to 930, in the painter's current pen.
void DrawChannelTotal(QPainter& painter, const ResponseStore& store, const ParameterModel& model,
                      int channel);
// Eight squares in the band colours, then the numbers in white above or below them.
void DrawBandPoints(QPainter& painter, const BandPoints& points, int channel);

// --- Widget ------------------------------------------------------------------------------
class ResponseGraph : public QWidget, public GraphControl {
  Q_OBJECT

 public:
  ResponseGraph(ParameterModel& model, EditorState& state, QWidget* parent = nullptr);

  // Where the band frames of a drag go, and the detail window's band fields.
  void SetSlotSink(SlotSink* sink) { slot_sink_ = sink; }
  void SetBandFieldSink(BandFieldSink* sink) { field_sink_ = sink; }
  // A whole drag, from mouse down to mouse up, is one edit of the history.
  void SetEditHistory(EditHistory* history) { history_ = history; }

  void UpdateBandPoint(int type) override;
  void CrossoverRedraw(int channel, bool high_pass) override;
  void RedrawAllCurves() override;
  void FullRecompute() override;
  void SetTitle(const QString& title) override;
  void SetDetailShown(bool shown) override;
  void EndDrag() override { FinishDrag(); }
  // Undo, redo, a copy or an import changed these blocks: their rows are computed again
  // and the view the graph shows is drawn again.
  void ShowBlocks(const BlockSet& blocks);

  // The phase, group delay and sum views; while one of them is chosen it draws the
  // picture in place of the level curves.
  void SetViews(ResponseViews* views) { views_ = views; }
  void RefreshView() override;
  // The tuning assistant's curves, drawn over the level view; null draws none.
  void SetOverlay(TuningOverlay* overlay) { overlay_ = overlay; }

  // A legend box: ignored in the single-channel view.
  void SetCurveVisible(int channel, bool visible);
  bool CurveVisible(int channel) const { return curve_visible_[channel]; }

  // What the graph shows: the level picture, or the other view's while one is chosen.
  const QImage& Image() const { return view_shown_ ? view_image_ : image_; }
  const QImage& GridBitmap() const { return grid_; }
  const BandPoints& Points() const { return points_; }
  const ResponseStore& Store() const { return store_; }
  QString Title() const { return title_; }
  int PenWidth() const { return pen_width_; }
  bool Dragging() const { return dragging_; }

 signals:
  void TitleChanged(const QString& title);
  void LegendEnabledChanged(bool enabled);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  void DragTo(QPoint mouse);
  void FinishDrag();
  void CopyGrid() { image_ = grid_; }
  void DrawSingleChannel(int channel);
  void DrawAllCurves();
  void DrawPoints(int channel);
  void Present();         // the other view, if one is chosen, then a repaint
  bool PresentOverlay();  // the level picture with the tuning curves, when there are any

  ParameterModel& model_;
  EditorState& state_;
  SlotSink* slot_sink_ = nullptr;
  BandFieldSink* field_sink_ = nullptr;
  EditHistory* history_ = nullptr;
  ResponseViews* views_ = nullptr;
  TuningOverlay* overlay_ = nullptr;
  ResponseStore store_;
  BandPoints points_ = InitialBandPoints();
  QImage grid_;
  QImage image_;       // the level picture, kept up to date in every view
  QImage view_image_;  // the phase, group delay or sum picture, or the level one overlaid
  bool view_shown_ = false;
  QString title_;
  int pen_width_ = 2;
  bool dragging_ = false;
  int drag_band_ = -1;  // the band whose point the press grabbed
  int wheel_rest_ = 0;  // eighths of a degree short of a notch, from fine-grained wheels
  std::array<bool, kChannelCount> curve_visible_ = {true, false, true, true, true, false};
};

}  // namespace veltrane
