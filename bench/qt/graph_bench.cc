// The graph's interactive costs: one mouse move of a dragged band point (snap, band row,
// channel total, the graph image redrawn) and the refresh after a whole parameter set
// arrives (every row recomputed and all curves drawn, with and without the windows).

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QMouseEvent>

#include "model/blocks.h"
#include "protocol/virtual_clock.h"
#include "ui/detail_window.h"
#include "ui/main_window.h"
#include "ui/response_graph.h"

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

void BM_DragMove(benchmark::State& state) {
  ParameterModel model;
  EditorState editor;
  LastFrameSink sink;
  ResponseGraph graph(model, editor);
  graph.SetSlotSink(&sink);
  graph.FullRecompute();
  graph.SetDetailShown(true);
  editor.shown_channel = kOut1 + 1;
  editor.selected_band = BandId(kOut1, 2);
  graph.UpdateBandPoint(kPeaking);
  const BandPoint start = graph.Points()[editor.selected_band];
  SendMouse(&graph, QEvent::MouseButtonPress, QPoint(start.x, start.y), Qt::LeftButton);

  // Alternate between two places so every move changes the band.
  int i = 0;
  for (auto _ : state) {
    const QPoint target = (i++ % 2) == 0 ? QPoint(555, 63) : QPoint(302, 150);
    SendMouse(&graph, QEvent::MouseMove, target, Qt::LeftButton);
    benchmark::DoNotOptimize(graph.Image().constBits());
  }
}
BENCHMARK(BM_DragMove)->Unit(benchmark::kMicrosecond)->Repetitions(7)->ReportAggregatesOnly(true);

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
