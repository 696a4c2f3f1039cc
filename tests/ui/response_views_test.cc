// The phase, group delay and sum views of the graph and "Align outputs…", with the real
// windows, the features and the simulated processor on a virtual clock.

#include "ui/response_views.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QtTest>

#include "model/image_codec.h"
#include "response/alignment.h"
#include "ui/align_dialog.h"
#include "ui/block_diagram.h"
#include "ui/channel_strip.h"
#include "ui/detail_channel_page.h"
#include "ui/detail_names.h"
#include "ui/detail_window.h"
#include "ui/edit_binding.h"
#include "ui/editor_features.h"
#include "ui/main_window.h"
#include "ui/response_graph.h"
#include "ui/widget_colors.h"
#include "wired_editor.h"

namespace veltrane {
namespace {

struct Editor : test::WiredEditor {
  Editor() {
    ConnectToProcessor();
  }
  ResponseGraph* Graph() const { return window.Graph(); }
  QComboBox* ViewList() const { return window.findChild<QComboBox*>("GraphViewList"); }
  void ChooseView(GraphView view) { ViewList()->setCurrentIndex(static_cast<int>(view)); }
  QRgb Pixel(int x, int y) const { return Graph()->Image().pixel(x, y); }
};

QAction* ActionOf(const QWidget* widget, const char* name) {
  for (QAction* action : widget->actions()) {
    if (action->objectName() == QLatin1String(name)) return action;
  }
  return nullptr;
}

// Columns where a curve is drawn and no wrap or other line is near: the pixel at the
// expected row (or one beside it, for the line's rounding) has the colour.
int ColumnsWithColour(const QImage& image, const std::vector<std::pair<int, int>>& points,
                      QColor colour) {
  int hits = 0;
  for (const auto& [x, y] : points) {
    for (int dy = -1; dy <= 1; ++dy) {
      if (y + dy >= 0 && y + dy < image.height() && image.pixel(x, y + dy) == colour.rgb()) {
        ++hits;
        break;
      }
    }
  }
  return hits;
}

}  // namespace

class ResponseViewsTest : public QObject {
  Q_OBJECT

 private slots:
  void viewsDrawTheirOwnCurvesOnTheirOwnGrid() {
    Editor e;
    QVERIFY(e.ViewList() != nullptr);
    for (int channel = 0; channel < kChannelCount; ++channel) {
      e.Graph()->SetCurveVisible(channel, channel == kOut2);
    }
    const QImage level = e.Graph()->Image();

    const std::vector<double> hz = CurveColumnFrequencies();
    const std::vector<ComplexPoint> curve = EvaluateCurve(ChannelProcessingOf(e.model, kOut2), hz);
    struct Case {
      GraphView view;
      int (*to_y)(const ComplexPoint&);
    };
    const Case cases[] = {
        {GraphView::kPhase,
         [](const ComplexPoint& p) { return PhaseToY(PhaseDegrees(p), kGraphHeight); }},
        {GraphView::kGroupDelay,
         [](const ComplexPoint& p) { return GroupDelayToY(GroupDelayMs(p), kGraphHeight); }},
    };
    for (const Case& c : cases) {
      e.ChooseView(c.view);
      const QImage image = e.Graph()->Image();
      // Its own labels: degrees or ms where the level view writes dB.
      const QImage grid = DrawViewGrid(c.view, kGraphWidth, kGraphHeight);
      QCOMPARE(image.copy(0, 0, 41, kGraphHeight), grid.copy(0, 0, 41, kGraphHeight));
      QVERIFY(grid.copy(0, 0, 41, kGraphHeight) != level.copy(0, 0, 41, kGraphHeight));
      std::vector<std::pair<int, int>> points;
      for (int x = 130; x <= 880; x += 25) {
        const int y = c.to_y(curve[x - kFirstCurveColumn]);
        if (y > 20 && y < kGraphHeight - 26) points.emplace_back(x, y);
      }
      QVERIFY(points.size() > 10);
      QVERIFY(ColumnsWithColour(image, points, CurveColor(kOut2)) >= int(points.size()) - 1);
    }
    e.ChooseView(GraphView::kLevel);
    QCOMPARE(e.Graph()->Image(), level);
  }

  void sumFollowsAPolarityFlipAndShowsTheNotch() {
    Editor e;
    // A plain two-way: H_OUT and M_OUT as 12 dB LR at 2 kHz from input A, L_OUT muted.
    ParameterModel m = e.model;
    for (int ch = kInA; ch <= kOut4; ++ch) {
      m.channels[ch] = ChannelParams{};
      for (int b = 0; b < kBandsPerChannel; ++b) m.bands[BandId(ch, b)] = DefaultBand(b);
    }
    m.channels[kOut1].hp_type = m.channels[kOut2].lp_type = 1;
    m.channels[kOut1].hp_freq = m.channels[kOut2].lp_freq = 160;
    m.channels[kOut2].polarity = 1;
    m.channels[kOut3].mute = 1;
    for (int out = kOut1; out <= kOut3; ++out) m.Output(out).route = 1;
    e.features->History().Apply([&m](ParameterModel& model) { model = m; });

    e.ChooseView(GraphView::kSum);
    QVERIFY(e.window.findChild<QCheckBox*>("SumOutputBox1")->isVisibleTo(&e.window));
    const int x = FreqToX(2000);
    const int flat_y = TotalToY(0);
    QCOMPARE(e.Pixel(x, flat_y), qRgb(255, 255, 255));
    // Flip M_OUT back in phase: the sum cancels at the crossover, far below the graph.
    QTest::mouseClick(e.window.Diagram()->Strip(kOut2)->Button(StripButton::kPolarity),
                      Qt::LeftButton);
    QCOMPARE(e.model.channels[kOut2].polarity, 0);
    QVERIFY(e.Pixel(x, flat_y) != qRgb(255, 255, 255));
    bool wall = false;  // the notch's walls go down through the graph's bottom row
    for (int dx = -3; dx <= 3; ++dx)
      wall |= e.Pixel(x + dx, kGraphHeight - 26) == qRgb(255, 255, 255);
    QVERIFY(wall);
    // Half a period of 2 kHz on M_OUT's delay slider turns it back against H_OUT there.
    e.detail.findChild<QSlider*>(ChannelControlName("DelaySlider", kOut2))->setValue(12);
    QCOMPARE(e.model.channels[kOut2].delay, 12);
    bool near_flat = false;
    for (int dy = -3; dy <= 3; ++dy) near_flat |= e.Pixel(x, flat_y + dy) == qRgb(255, 255, 255);
    QVERIFY(near_flat);
    e.detail.findChild<QSlider*>(ChannelControlName("DelaySlider", kOut2))->setValue(0);
    // Unticking M_OUT leaves H_OUT alone in the sum: -6 dB at its corner.
    e.window.findChild<QCheckBox*>("SumOutputBox2")->setChecked(false);
    QCOMPARE(e.Pixel(x, TotalToY(-6.02)), qRgb(255, 255, 255));
  }

  void alignAppliesAsOneStepAndUndoes() {
    Editor e;
    // Demo content with M_OUT inverted by hand: something to repair.
    QTest::mouseClick(e.window.Diagram()->Strip(kOut2)->Button(StripButton::kPolarity),
                      Qt::LeftButton);
    const ParameterModel before = e.model;
    const std::size_t steps = e.features->History().UndoCount();

    QAction* align = ActionOf(e.window.Diagram()->Strip(kOut2), "AlignOutputsAction");
    QVERIFY(align != nullptr);
    QVERIFY(ActionOf(e.detail.Page(kOut3), "AlignOutputsAction") != nullptr);
    QVERIFY(ActionOf(e.detail.Page(kInA), "AlignOutputsAction") == nullptr);
    align->trigger();
    auto* dialog = e.window.findChild<AlignOutputsDialog*>();
    QVERIFY(dialog != nullptr && dialog->isVisible());
    QCOMPARE(dialog->PairList()->currentText(), QStringLiteral("H_OUT and M_OUT"));
    const AlignmentResult expected = SuggestAlignment(before, kOut1, kOut2);
    QVERIFY(expected.suggestion);
    const AlignmentSuggestion s = *dialog->Suggestion();
    QCOMPARE(s.polarity, expected.suggestion->polarity);
    QCOMPARE(s.delay_steps, expected.suggestion->delay_steps);
    QCOMPARE(dialog->findChild<QLabel*>("AlignText")->text(), AlignmentText(expected));
    QVERIFY(!dialog->findChild<QLabel*>("AlignPlot")->pixmap().isNull());
    const bool changes = s.polarity[1] != before.channels[kOut2].polarity ||
                         s.delay_steps[0] != before.channels[kOut1].delay ||
                         s.delay_steps[1] != before.channels[kOut2].delay;
    QVERIFY(changes);

    QTest::mouseClick(dialog->findChild<QPushButton*>("AlignApply"), Qt::LeftButton);
    QCOMPARE(EncodeParameterImage(e.model), EncodeParameterImage(WithAlignment(before, s)));
    QCOMPARE(e.features->History().UndoCount(), steps + 1);
    QCOMPARE(e.window.Diagram()->Strip(kOut2)->Button(StripButton::kPolarity)->text(),
             s.polarity[1] ? QStringLiteral("Pol-") : QStringLiteral("Pol+"));
    e.clock.Advance(8000);
    QCOMPARE(EncodeParameterImage(e.sim.LiveModel()), EncodeParameterImage(e.model));

    QVERIFY(e.features->Edits().Undo());
    QCOMPARE(EncodeParameterImage(e.model), EncodeParameterImage(before));
    QCOMPARE(e.window.Diagram()->Strip(kOut2)->Button(StripButton::kPolarity)->text(),
             QStringLiteral("Pol-"));
    e.clock.Advance(8000);
    QCOMPARE(EncodeParameterImage(e.sim.LiveModel()), EncodeParameterImage(before));
  }
};

}  // namespace veltrane

QTEST_MAIN(veltrane::ResponseViewsTest)
#include "response_views_test.moc"
