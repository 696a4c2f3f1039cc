// The graph's interactive costs: one mouse move of a dragged band point (snap, band row,
// channel total, the graph image redrawn; in the level view and with the phase or the sum
// view open, and with the tuning assistant's curves over the level view, whose predicted
// curve is computed again on every move), the refresh after a whole parameter set
// arrives (every row recomputed and all curves drawn, with and without the windows), and
// one undo or redo of a drag (model restored, frame queued, fields, row and graph redrawn
// and painted).

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QMouseEvent>

#include "model/blocks.h"
#include "model/edit_history.h"
#include "protocol/virtual_clock.h"
#include "tuning/synthetic_room.h"
#include "tuning/tuning_session.h"
#include "ui/detail_window.h"
#include "ui/edit_binding.h"
#include "ui/main_window.h"
#include "ui/response_graph.h"
#include "ui/response_views.h"
#include "ui/tuning_overlay.h"

namespace veltrane {
namespace {

// Takes every frame, as a connected engine does, and keeps only the last.
class LastFrameSink : public SlotSink {
 public:
  bool AcceptsFrames() const override { return true; }
  std::uint8_t DeviceId() const override { return 0; }
  void QueueSlotFrame(int slot, const WriteFrame& frame) override {
    slot_ = slot;
    frame_ = frame;
  }

 private:
  int slot_ = 0;
  WriteFrame frame_{};
};

void SendMouse(QWidget* widget, QEvent::Type type, QPoint pos, Qt::MouseButtons buttons) {
  QMouseEvent event(type, QPointF(pos), QPointF(pos), Qt::LeftButton, buttons, Qt::NoModifier);
  QApplication::sendEvent(widget, &event);
}

// Grabs the selected band's point and times moves that alternate between two places, so
// that every move changes the band.
void DragSelectedBand(benchmark::State& state, ResponseGraph& graph, const EditorState& editor) {
  const BandPoint start = graph.Points()[editor.selected_band];
  SendMouse(&graph, QEvent::MouseButtonPress, QPoint(start.x, start.y), Qt::LeftButton);
  int i = 0;
  for (auto _ : state) {
    const QPoint target = (i++ % 2) == 0 ? QPoint(555, 63) : QPoint(302, 150);
    SendMouse(&graph, QEvent::MouseMove, target, Qt::LeftButton);
    benchmark::DoNotOptimize(graph.Image().constBits());
  }
}

void BM_DragMove(benchmark::State& state) {
  ParameterModel model;
  // A three-way from both inputs, so the sum view has three outputs to add.
  for (int out = kOut1; out <= kOut4; ++out) model.Output(out).route = 3;
  model.channels[kOut1].hp_freq = model.channels[kOut2].lp_freq = 160;
  model.channels[kOut2].hp_freq = model.channels[kOut3].lp_freq = 88;
  for (int ch = kOut1; ch <= kOut3; ++ch)
    model.channels[ch].hp_type = model.channels[ch].lp_type = 7;
  EditorState editor;
  LastFrameSink sink;
  ResponseGraph graph(model, editor);
  ResponseViews views;
  views.SetView(static_cast<GraphView>(state.range(0)));
  graph.SetViews(&views);
  graph.SetSlotSink(&sink);
  EditHistory history(model);  // as in the editor: the drag is one edit of it
  graph.SetEditHistory(&history);
  graph.FullRecompute();
  graph.SetDetailShown(true);
  editor.shown_channel = kOut1 + 1;
  editor.selected_band = BandId(kOut1, 2);
  graph.UpdateBandPoint(kPeaking);
  DragSelectedBand(state, graph, editor);
}
BENCHMARK(BM_DragMove)
    ->Arg(static_cast<int>(GraphView::kLevel))
    ->Arg(static_cast<int>(GraphView::kPhase))
    ->Arg(static_cast<int>(GraphView::kSum))
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);

void BM_DragMoveWithTuningOverlay(benchmark::State& state) {
  ParameterModel model;
  model.channels[kOut1].hp_freq = 88;
  model.channels[kOut1].hp_type = 7;
  EditorState editor;
  LastFrameSink sink;
  ResponseGraph graph(model, editor);
  graph.SetSlotSink(&sink);
  EditHistory history(model);
  graph.SetEditHistory(&history);
  TuningSession session;
  session.channels[kOut1] =
      ChannelMeasurement{{"room.txt"}, SyntheticRoom(7), Smoothing{SmoothingKind::kVariable, 6}};
  TuningOverlay overlay(model, editor, session);
  graph.SetOverlay(&overlay);
  graph.FullRecompute();
  graph.SetDetailShown(true);
  editor.shown_channel = kOut1 + 1;
  editor.selected_band = BandId(kOut1, 2);
  graph.UpdateBandPoint(kPeaking);  // the measurement is smoothed once, here
  DragSelectedBand(state, graph, editor);
}
BENCHMARK(BM_DragMoveWithTuningOverlay)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);

void BM_GraphFullRecompute(benchmark::State& state) {
  ParameterModel model;
  for (int b = 0; b < kBandCount; ++b) {
    model.bands[b].peak_gain = static_cast<std::uint16_t>(60 + 3 * b);
  }
  for (int c = 0; c < kChannelCount; ++c) {
    model.channels[c].hp_type = 11;
    model.channels[c].lp_type = 9;
    model.channels[c].hp_freq = 40;
    model.channels[c].lp_freq = 200;
  }
  EditorState editor;
  ResponseGraph graph(model, editor);
  for (auto _ : state) {
    graph.FullRecompute();
    benchmark::DoNotOptimize(graph.Image().constBits());
  }
}
BENCHMARK(BM_GraphFullRecompute)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);

// What an arriving image costs the windows: every control of both windows and the graph.
void BM_ApplyModelToControls(benchmark::State& state) {
  ParameterModel model;
  EditorState editor;
  VirtualClock clock;
  MainWindow window(model, clock, editor);
  DetailWindow detail(model, clock, editor);
  window.AttachDetailWindow(&detail);
  int round = 0;
  for (auto _ : state) {
    // A different gain each time, so no control can skip its update.
    model.channels[kOut1].gain = static_cast<std::uint8_t>(100 + (round++ % 40));
    window.ApplyModelToControls();
  }
}
BENCHMARK(BM_ApplyModelToControls)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);

// Ctrl+Z after a drag, and Ctrl+Y: both windows shown on H_OUT's page, the step taken back
// and put again in turn, each time with the paint that follows.
void BM_UndoDragStep(benchmark::State& state) {
  ParameterModel model;
  EditorState editor;
  VirtualClock clock;
  LastFrameSink sink;
  MainWindow window(model, clock, editor);
  DetailWindow detail(model, clock, editor);
  window.AttachDetailWindow(&detail);
  detail.AttachSink(&sink);
  window.Graph()->SetSlotSink(&sink);
  EditHistory history(model);
  EditBinding edits(window, model, history);
  history.SetOutlets(&sink, &edits);
  window.AttachEditHistory(&history);
  window.ApplyModelToControls();
  window.show();
  detail.OpenChannelPage(kOut1);
  QApplication::processEvents();

  ResponseGraph* graph = window.Graph();
  const int band = BandId(kOut1, 4);
  const BandPoint start = graph->Points()[band];
  SendMouse(graph, QEvent::MouseButtonPress, QPoint(start.x, start.y), Qt::LeftButton);
  for (int i = 1; i <= 50; ++i) {
    SendMouse(graph, QEvent::MouseMove, QPoint(start.x - 4 * i, start.y + 2 * i), Qt::LeftButton);
  }
  SendMouse(graph, QEvent::MouseButtonRelease, QPoint(start.x - 200, start.y + 100), Qt::NoButton);
  QApplication::processEvents();
  if (history.UndoCount() != 1) state.SkipWithError("the drag is not one step");

  bool undo = true;
  for (auto _ : state) {
    if (!(undo ? edits.Undo() : edits.Redo())) state.SkipWithError("nothing to undo or redo");
    undo = !undo;
    QApplication::processEvents();  // the fields and the graph paint
  }
}
BENCHMARK(BM_UndoDragStep)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);

}  // namespace
}  // namespace veltrane

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
