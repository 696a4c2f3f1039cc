#pragma once

// The other views of the response graph: phase, group delay and the sum of outputs. They
// draw over the same grid frame and columns as the level view, from the complex response
// of the model's stored values, and leave the level view's store and points alone. The
// bar above the graph chooses the view and, for the sum, which outputs are summed.

#include <QImage>
#include <QPolygon>
#include <QWidget>
#include <array>
#include <span>
#include <vector>

#include "model/channels.h"
#include "model/parameter_model.h"
#include "response/complex_response.h"
#include "response/response_math.h"

class QCheckBox;
class QComboBox;
class QPainter;

namespace veltrane {

enum class GraphView { kLevel, kPhase, kGroupDelay, kSum };

// --- Geometry ----------------------------------------------------------------------------
// Phase: +180 degrees on the second grid row, -180 on the last, 60 degrees a row.
int PhaseToY(double degrees, int height);
// Group delay: 0 ms on the last grid row, 2 ms a row up to 14 ms on the first.
int GroupDelayToY(double ms, int height);
// The grid of a view: the level grid, with the level labels replaced by degrees or ms.
QImage DrawViewGrid(GraphView view, int width, int height);

// One curve as polylines over the curve columns. A wrap of the phase or a gap (no value)
// starts a new polyline instead of drawing a line across the graph.
std::vector<QPolygon> CurvePolylines(std::span<const ComplexPoint> curve, GraphView view);

// --- Drawing -----------------------------------------------------------------------------
struct ViewScene {
  const ParameterModel* model = nullptr;
  std::array<bool, kChannelCount> visible{};  // the all-channels view's legend
  int single_channel = -1;                    // the detail window's channel, or -1
  int pen_width = 2;
  const std::array<BandPoint, kBandCount>* points = nullptr;  // drawn with a single channel
};

class ResponseViews {
 public:
  ResponseViews();

  GraphView View() const { return view_; }
  void SetView(GraphView view) { view_ = view; }
  // Outputs in the sum, Out 1..Out 4 by output index; H_OUT + M_OUT + L_OUT at first.
  bool Summed(int output_index) const { return summed_[output_index]; }
  void SetSummed(int output_index, bool summed) { summed_[output_index] = summed; }
  std::vector<int> SummedChannels() const;

  // The view's whole picture: its grid, then its curves (and the band points of a single
  // channel, which stay where the level view puts them so they can still be dragged).
  void Render(QImage& image, const ViewScene& scene);

 private:
  void DrawChannels(QPainter& p, const ViewScene& scene);
  void DrawSum(QPainter& p, const ViewScene& scene);

  GraphView view_ = GraphView::kLevel;
  std::array<bool, kOutputCount> summed_ = {true, true, true, false};
  FrequencyGrid columns_;
  std::array<QImage, 4> grids_;
};

// The row above the graph: a list of views and, in the sum view, a box per output.
class GraphViewBar : public QWidget {
  Q_OBJECT

 public:
  GraphViewBar(ResponseViews& views, QWidget* parent = nullptr);
  QComboBox* ViewList() const { return list_; }
  QCheckBox* SumBox(int output_index) const { return boxes_[output_index]; }

 signals:
  void Changed();

 private:
  ResponseViews& views_;
  QComboBox* list_ = nullptr;
  std::array<QCheckBox*, kOutputCount> boxes_{};
};

}  // namespace veltrane
