// The response graph without a window around it: grid pixels, curve and point drawing,
// the view rules, and dragging a point with the mouse.

#include <QFontInfo>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QtTest>
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "model/blocks.h"
#include "model/tables.h"
#include "mouse_events.h"
#include "ui/response_graph.h"
#include "ui/widget_colors.h"

namespace veltrane {
namespace {

class RecordingSink : public SlotSink {
 public:
  bool AcceptsFrames() const override { return true; }
  std::uint8_t DeviceId() const override { return 0; }
  void QueueSlotFrame(int slot, const WriteFrame& frame) override {
    queued.push_back(slot);
    frames.push_back(frame);
  }
  std::vector<int> queued;
  std::vector<WriteFrame> frames;
};

class RecordingFields : public BandFieldSink {
 public:
  void ShowDraggedBand(int band_id, const QString& freq_text, const QString& gain_text) override {
    band = band_id;
    freq = freq_text;
    gain = gain_text;
    ++calls;
  }
  int band = -1;
  QString freq;
  QString gain;
  int calls = 0;
};

QColor Pixel(const QImage& image, int x, int y) { return QColor(image.pixel(x, y)); }

using test::Move;
using test::Press;
using test::Release;
using test::SendMouse;

QPoint At(const BandPoint& point) { return QPoint(point.x, point.y); }

bool UnderLabel(const std::vector<GridLabel>& labels, int x, int y) {
  return std::any_of(labels.begin(), labels.end(),
                     [x, y](const GridLabel& label) { return label.box.contains(x, y); });
}

}  // namespace

class GraphTest : public QObject {
  Q_OBJECT

 private:
  // A graph in the single-channel view of `channel`, as the detail window leaves it.
  struct SingleView {
    ParameterModel model;
    EditorState state;
    RecordingSink sink;
    RecordingFields fields;
    ResponseGraph graph{model, state};

    explicit SingleView(int channel) {
      graph.SetSlotSink(&sink);
      graph.SetBandFieldSink(&fields);
      graph.FullRecompute();
      graph.SetDetailShown(true);
      state.shown_channel = channel + 1;
      state.selected_band = BandId(channel, 0);
      graph.UpdateBandPoint(model.bands[state.selected_band].type);
    }
  };

 private slots:
  // The copy of these tests that runs on a fontconfig seeing only DejaVu names the font it
  // expects, so that it cannot pass on another font unnoticed.
  void initTestCase() {
    const QString expected = qEnvironmentVariable("VELTRANE_EXPECT_LABEL_FONT");
    if (!expected.isEmpty()) QCOMPARE(QFontInfo(GridLabelFont()).family(), expected);
  }

  void GridGeometry() {
    const std::array<int, 8> rows = {40, 63, 86, 109, 133, 156, 179, 202};
    QCOMPARE(GridRows(kGraphHeight), rows);
    QCOMPARE(GridLineX(20, kGraphWidth), 121);
    // One pixel left of where a curve puts 1 kHz.
    QCOMPARE(GridLineX(1000, kGraphWidth), 554);
    QCOMPARE(FreqToX(1000), 555);
  }

  void GridPixels() {
    const QImage grid = DrawGraphGrid(kGraphWidth, kGraphHeight);
    QCOMPARE(grid.size(), QSize(kGraphWidth, kGraphHeight));
    const QColor frame(128, 128, 128), line(64, 64, 64), black(0, 0, 0);
    // The labels are as wide as the font that stands in for Arial makes them, and a wide
    // one covers the left end of the grid: there only pixels clear of every label count.
    const std::vector<GridLabel> labels = GridLabels(&grid);
    const auto clear = [&labels](int x, int y) { return !UnderLabel(labels, x, y); };
    // x 505 and y 50 lie between the grid lines.
    QVERIFY(GridLineX(600, kGraphWidth) < 505 && GridLineX(700, kGraphWidth) > 505);
    for (int row : GridRows(kGraphHeight)) {
      QCOMPARE(Pixel(grid, 505, row), line);
      if (clear(42, row)) QCOMPARE(Pixel(grid, 42, row), line);
      // Grid lines stop short of the frame instead of painting over it.
      QCOMPARE(Pixel(grid, 931, row), frame);
      if (clear(41, row)) QCOMPARE(Pixel(grid, 41, row), frame);
    }
    QCOMPARE(Pixel(grid, 505, 17), frame);
    QCOMPARE(Pixel(grid, 505, 225), frame);
    if (clear(41, 150)) QCOMPARE(Pixel(grid, 41, 150), frame);
    QCOMPARE(Pixel(grid, 931, 150), frame);
    QCOMPARE(Pixel(grid, 505, 16), black);
    QCOMPARE(Pixel(grid, 505, 50), black);
    QCOMPARE(Pixel(grid, 932, 150), black);
    for (double hz : {20.0, 30.0, 100.0, 1000.0, 10000.0}) {
      QCOMPARE(Pixel(grid, GridLineX(hz, kGraphWidth), 50), line);
      QCOMPARE(Pixel(grid, GridLineX(hz, kGraphWidth), 224), line);
      QCOMPARE(Pixel(grid, GridLineX(hz, kGraphWidth), 225), frame);
    }
    // The axis end line at 20 kHz's curve column.
    QCOMPARE(Pixel(grid, 887, 50), line);
    // Labels sit on their dark background box from their given corner; no glyph reaches
    // the top row of its line.
    QCOMPARE(labels.size(), std::size_t{20});
    QCOMPARE(labels.front().box.topLeft(), QPoint(4, 10));
    QCOMPARE(labels.back().box.topLeft(), QPoint(873, 226));
    for (const GridLabel& label : labels) {
      QVERIFY2(grid.rect().contains(label.box), qPrintable(label.text));
      QCOMPARE(Pixel(grid, label.box.left(), label.box.top()), QColor(4, 2, 4));
    }
  }

  void StartUpShowsOnlyTheZeroLine() {
    ParameterModel model;
    EditorState state;
    ResponseGraph graph(model, state);
    QCOMPARE(graph.Title(), QStringLiteral("show all "));
    QCOMPARE(graph.PenWidth(), 2);
    const QImage& image = graph.Image();
    for (int x : {42, 300, 930}) QCOMPARE(Pixel(image, x, 86), QColor(255, 0, 0));
    if (!UnderLabel(GridLabels(&image), 41, 86))
      QCOMPARE(Pixel(image, 41, 86), QColor(128, 128, 128));
    QCOMPARE(Pixel(image, 500, 63), QColor(64, 64, 64));
    QVERIFY(graph.CurveVisible(kInA) && graph.CurveVisible(kOut1) && graph.CurveVisible(kOut3));
    QVERIFY(!graph.CurveVisible(kInB) && !graph.CurveVisible(kOut4));
  }

  void AllChannelsCurveFollowsTheMath() {
    ParameterModel model;
    model.bands[BandId(kOut2, 4)].peak_gain = 150;  // +6 dB
    model.bands[BandId(kOut2, 1)].type = kLowShelf;
    model.bands[BandId(kOut2, 1)].shelf_gain = 80;
    model.channels[kOut2].hp_freq = 40;
    model.channels[kOut2].hp_type = 7;
    model.channels[kOut2].gain = 100;
    EditorState state;
    ResponseGraph graph(model, state);
    graph.FullRecompute();
    QCOMPARE(state.selected_band, 47);
    QCOMPARE(state.crossover_channel, 5);
    for (int channel : {kInA, kOut1, kOut3}) graph.SetCurveVisible(channel, false);

    const QColor out2 = CurveColor(kOut2);
    const std::vector<int> columns = {200, 333, 555, 700, 929};
    for (int x : columns) {
      const int y = TotalToY(ChannelTotalDb(graph.Store(), model, kOut2, x));
      QVERIFY2(y > 17 && y < 225, qPrintable(QString::number(x)));
      QCOMPARE(Pixel(graph.Image(), x, y), out2);
    }
    graph.SetCurveVisible(kOut2, false);
    for (int x : columns) {
      const int y = TotalToY(ChannelTotalDb(graph.Store(), model, kOut2, x));
      QVERIFY(Pixel(graph.Image(), x, y) != out2);
    }
  }

  void SingleChannelCurveAndPoints() {
    SingleView view(kOut1);
    ParameterModel& model = view.model;
    // Band 2 low enough for its number to go below the square.
    model.bands[BandId(kOut1, 1)].peak_gain = 20;
    view.state.selected_band = BandId(kOut1, 1);
    view.graph.UpdateBandPoint(kPeaking);

    const QImage& image = view.graph.Image();
    const QColor red(255, 0, 0);
    for (int x : {45, 160, 420, 925}) {
      QCOMPARE(Pixel(image, x, TotalToY(ChannelTotalDb(view.graph.Store(), model, kOut1, x))), red);
    }
    for (int number = 0; number < kBandsPerChannel; ++number) {
      const BandPoint& p = view.graph.Points()[BandId(kOut1, number)];
      QCOMPARE(p.x, FreqToX(kFreqTable[model.bands[BandId(kOut1, number)].freq]));
      QCOMPARE(Pixel(image, p.x - 4, p.y - 4), BandColor(number));
      QCOMPARE(Pixel(image, p.x + 4, p.y + 4), BandColor(number));
      QVERIFY(Pixel(image, p.x + 5, p.y + 5) != BandColor(number));
    }
    // A number is written above its point in the upper part, below it further down.
    auto white_in = [&image](int left, int top) {
      for (int y = top; y < top + 14; ++y) {
        for (int x = left; x < left + 8; ++x) {
          if (Pixel(image, x, y) == QColor(255, 255, 255)) return true;
        }
      }
      return false;
    };
    const BandPoint high = view.graph.Points()[BandId(kOut1, 0)];
    const BandPoint low = view.graph.Points()[BandId(kOut1, 1)];
    QVERIFY(high.y < 117 && low.y >= 117);
    QVERIFY(white_in(high.x - 2, high.y - 18));
    QVERIFY(!white_in(high.x - 2, high.y + 5));
    QVERIFY(white_in(low.x - 2, low.y + 5));
    QVERIFY(!white_in(low.x - 2, low.y - 18));
  }

  // A crossover change recomputes its filter's row, then draws the channel of
  // SelectedBand, not the one whose filter changed; only a low-pass change in the
  // all-channels view draws every curve. The changed channel's points go on top.
  void CrossoverRedrawFollowsTheFilter() {
    SingleView view(kOut1);
    ParameterModel& model = view.model;
    model.channels[kOut1].hp_freq = 80;  // 198 Hz: Out 1 falls away below it
    view.graph.CrossoverRedraw(kOut1, /*high_pass=*/true);
    QCOMPARE(view.state.crossover_channel, int{kOut1});

    // Columns where Out 1's total is on the graph, clear of the flat 0 dB channels and
    // of Out 1's band points on the 0 dB row.
    std::vector<int> columns;
    for (int x = 130; x < 300; x += 7) {
      const int y = TotalToY(ChannelTotalDb(view.graph.Store(), model, kOut1, x));
      bool clear = y > 100 && y < 220;
      for (int number = 0; number < kBandsPerChannel; ++number) {
        clear = clear && std::abs(x - view.graph.Points()[BandId(kOut1, number)].x) > 5;
      }
      if (clear) columns.push_back(x);
    }
    QVERIFY(columns.size() >= 5);
    const auto out1_y = [&](int x) {
      return TotalToY(ChannelTotalDb(view.graph.Store(), model, kOut1, x));
    };
    const QColor red(255, 0, 0);
    for (int x : columns) QCOMPARE(Pixel(view.graph.Image(), x, out1_y(x)), red);

    // SelectedBand in Out 2: a low-pass change of Out 1 in the single view draws Out 2.
    view.state.selected_band = BandId(kOut2, 0);
    model.channels[kOut1].lp_freq = 200;
    view.graph.CrossoverRedraw(kOut1, /*high_pass=*/false);
    QVERIFY(view.graph.Store().Value(LowPassRow(kOut1), 929) < -1.0);
    for (int x : columns) {
      QVERIFY(Pixel(view.graph.Image(), x, out1_y(x)) != red);
      QCOMPARE(Pixel(view.graph.Image(), x, 86), red);  // Out 2 is flat
    }
    const BandPoint point = view.graph.Points()[BandId(kOut1, 4)];
    QCOMPARE(Pixel(view.graph.Image(), point.x, point.y), BandColor(4));

    // The all-channels view: the low-pass change draws every visible curve.
    view.graph.SetDetailShown(false);
    view.graph.CrossoverRedraw(kOut1, /*high_pass=*/false);
    for (int x : columns) {
      QCOMPARE(Pixel(view.graph.Image(), x, out1_y(x)), CurveColor(kOut1));
      QCOMPARE(Pixel(view.graph.Image(), x, 86), CurveColor(kOut3));  // drawn last
    }
    // A high-pass change still draws SelectedBand's channel alone, in red.
    view.graph.CrossoverRedraw(kOut1, /*high_pass=*/true);
    for (int x : columns) {
      QVERIFY(Pixel(view.graph.Image(), x, out1_y(x)) != CurveColor(kOut1));
      QCOMPARE(Pixel(view.graph.Image(), x, 86), red);
    }
  }

  void LegendAndDetailWindowViews() {
    ParameterModel model;
    EditorState state;
    ResponseGraph graph(model, state);
    QSignalSpy legend(&graph, &ResponseGraph::LegendEnabledChanged);
    graph.SetDetailShown(true);
    QCOMPARE(graph.PenWidth(), 1);
    QVERIFY(state.single_channel_mode);
    graph.SetCurveVisible(kOut2, false);
    QVERIFY(graph.CurveVisible(kOut2));  // ignored while the detail window is open

    graph.SetDetailShown(false);
    QCOMPARE(graph.PenWidth(), 2);
    QVERIFY(!state.single_channel_mode);
    QCOMPARE(graph.Title(), QStringLiteral("show all"));
    QCOMPARE(legend.count(), 2);
    QCOMPARE(legend.at(0).at(0).toBool(), false);
    QCOMPARE(legend.at(1).at(0).toBool(), true);
    graph.SetCurveVisible(kOut2, false);
    QVERIFY(!graph.CurveVisible(kOut2));
  }

  void MouseDownHitTest() {
    SingleView view(kOut2);
    const BandPoint p = view.graph.Points()[BandId(kOut2, 3)];
    for (QPoint offset : {QPoint(8, 0), QPoint(0, -8), QPoint(-8, 7), QPoint(7, 8)}) {
      Press(&view.graph, At(p) + offset);
      QVERIFY2(!view.graph.Dragging(),
               qPrintable(QStringLiteral("%1,%2").arg(offset.x()).arg(offset.y())));
    }
    Press(&view.graph, At(p) + QPoint(-7, 7));
    QVERIFY(view.graph.Dragging());
    QCOMPARE(view.state.selected_band, BandId(kOut2, 3));
    Release(&view.graph, At(p));
    QVERIFY(!view.graph.Dragging());

    // Points of bands 5 and 6 four pixels apart: the lower number wins.
    view.model.bands[BandId(kOut2, 4)].freq = 100;
    view.model.bands[BandId(kOut2, 5)].freq = 101;
    for (int band : {BandId(kOut2, 4), BandId(kOut2, 5)}) {
      view.state.selected_band = band;
      view.graph.UpdateBandPoint(kPeaking);
    }
    const BandPoint five = view.graph.Points()[BandId(kOut2, 4)];
    const BandPoint six = view.graph.Points()[BandId(kOut2, 5)];
    QVERIFY(six.x - five.x < 8 && six.x > five.x);
    Press(&view.graph, At(six));
    QCOMPARE(view.state.selected_band, BandId(kOut2, 4));
    QVERIFY(view.sink.queued.empty());
  }

  void MouseIgnoredOutsideAChannelPage() {
    SingleView view(kInA);
    const QPoint point = At(view.graph.Points()[0]);
    view.state.shown_channel = 7;  // the gain page
    Press(&view.graph, point);
    QVERIFY(!view.graph.Dragging());
    view.state.shown_channel = 1;
    view.graph.SetDetailShown(false);
    Press(&view.graph, point);
    QVERIFY(!view.graph.Dragging());
  }

  void DragSnapsStoresAndQueues() {
    SingleView view(kOut1);
    const int band_id = BandId(kOut1, 2);
    const int slot = SlotOfBlock(kOut1, EqBandBlockNumber(band_id));
    Press(&view.graph, At(view.graph.Points()[band_id]));
    QVERIFY(view.graph.Dragging());

    // Past 20100 Hz: the last table entry, and the point snaps back to its column.
    Move(&view.graph, QPoint(900, 100));
    const BandParams& band = view.model.bands[band_id];
    QCOMPARE(int(band.freq), 240);
    QCOMPARE(int(band.peak_gain), YToEqGainIndex(100));
    QCOMPARE(view.graph.Points()[band_id].x, 888);
    QCOMPARE(view.graph.Points()[band_id].y, EqGainToY(kEqGainTable[band.peak_gain]));
    QCOMPARE(view.fields.band, band_id);
    QCOMPARE(view.fields.freq, QStringLiteral("20100"));
    QCOMPARE(view.fields.gain,
             QString::fromStdString(FormatShortest(kEqGainTable[band.peak_gain])));
    QCOMPARE(view.sink.queued, std::vector<int>{slot});
    QCOMPARE(view.sink.frames.back(),
             BuildBlockFrame(view.model, 0, kOut1, EqBandBlockNumber(band_id)));
    QCOMPARE(Pixel(view.graph.Image(), 888 + 4, view.graph.Points()[band_id].y), BandColor(2));

    // Left of the range only y follows; above it only x follows.
    Move(&view.graph, QPoint(40, 160));
    QCOMPARE(view.graph.Points()[band_id].x, 888);
    QCOMPARE(view.graph.Points()[band_id].y, EqGainToY(kEqGainTable[YToEqGainIndex(160)]));
    Move(&view.graph, QPoint(555, 10));
    QCOMPARE(view.graph.Points()[band_id].x, 555);
    QCOMPARE(view.graph.Points()[band_id].y, EqGainToY(kEqGainTable[YToEqGainIndex(160)]));

    // Outside both ranges the point stays, but the band is re-sent all the same.
    const BandPoint before = view.graph.Points()[band_id];
    const BandParams stored = band;
    Move(&view.graph, QPoint(10, 240));
    QCOMPARE(view.graph.Points()[band_id], before);
    QCOMPARE(band, stored);
    QCOMPARE(view.sink.queued.size(), std::size_t{4});
    QCOMPARE(view.fields.calls, 4);

    // Releasing sends nothing and ends the drag.
    Release(&view.graph, QPoint(10, 240));
    Move(&view.graph, QPoint(300, 100));
    QCOMPARE(view.sink.queued.size(), std::size_t{4});
    QCOMPARE(view.graph.Points()[band_id], before);
  }

  // A refresh or the closing detail window ends a drag still held: the next moves would
  // otherwise retune band 47 or a band no longer on screen.
  void DragEndsWithItsView() {
    SingleView view(kOut1);
    const QPoint point = At(view.graph.Points()[BandId(kOut1, 4)]);
    Press(&view.graph, point);
    view.graph.FullRecompute();
    Move(&view.graph, QPoint(300, 150));
    Press(&view.graph, point);
    view.graph.SetDetailShown(false);
    Move(&view.graph, QPoint(300, 150));
    QVERIFY(view.sink.queued.empty());
    QCOMPARE(view.model, ParameterModel{});
  }

  void ShelfDragWritesTheShelfGain() {
    SingleView view(kInA);
    BandParams& band = view.model.bands[3];
    band.type = kHighShelf;
    view.state.selected_band = 3;
    view.graph.UpdateBandPoint(kHighShelf);
    const std::uint16_t peak = band.peak_gain;
    Press(&view.graph, At(view.graph.Points()[3]));
    Move(&view.graph, QPoint(400, 150));
    QCOMPARE(int(band.shelf_gain), YToEqGainIndex(150));
    QCOMPARE(band.peak_gain, peak);
  }
};

}  // namespace veltrane

QTEST_MAIN(veltrane::GraphTest)
#include "graph_test.moc"
