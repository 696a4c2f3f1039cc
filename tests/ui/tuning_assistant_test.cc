// The tuning assistant in the windows: a measurement imported from a channel's menu, its
// curves on the graph, the fit dialog whose Apply is one undo step that reaches the
// processor, bad files refused with nothing changed, and the measurements file beside a
// preset file. The real windows and features, the simulated processor, a virtual clock.

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QtTest>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include "model/image_codec.h"
#include "model/tables.h"
#include "mouse_events.h"
#include "response/response_math.h"
#include "tuning/tuning_session.h"
#include "ui/block_diagram.h"
#include "ui/channel_strip.h"
#include "ui/detail_channel_page.h"
#include "ui/edit_binding.h"
#include "ui/fit_dialog.h"
#include "ui/measurement_actions.h"
#include "ui/response_graph.h"
#include "ui/tuning_overlay.h"
#include "ui/tuning_overlay_bar.h"
#include "ui/window_operation_view.h"
#include "wired_editor.h"

namespace veltrane {
namespace {

struct Editor : test::WiredEditor {
  Editor() {
    ConnectToProcessor();
    Measurements().SetFilesHandler([this](const QString&) { return chosen; });
  }
  MeasurementActions& Measurements() const { return features->Measurements(); }
  const std::optional<ChannelMeasurement>& Of(int channel) {
    return Measurements().Session().channels[channel];
  }
  // Imports through the strip's menu, as a user does.
  void Import(int channel, QStringList paths) {
    chosen = std::move(paths);
    for (QAction* action : window.Diagram()->Strip(channel)->actions()) {
      if (action->objectName() == QLatin1String("ImportMeasurementAction")) action->trigger();
    }
  }
  std::array<BandParams, kBandsPerChannel> Bands(const ParameterModel& m, int channel) const {
    std::array<BandParams, kBandsPerChannel> bands{};
    for (int i = 0; i < kBandsPerChannel; ++i) bands[i] = m.bands[BandId(channel, i)];
    return bands;
  }
  int PixelsOf(const QColor& colour) const {
    const QImage& image = window.Graph()->Image();
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) count += image.pixel(x, y) == colour.rgb();
    }
    return count;
  }
  QStringList chosen;
};

QAction* ActionOf(const QWidget* widget, const char* name) {
  for (QAction* action : widget->actions()) {
    if (action->objectName() == QLatin1String(name)) return action;
  }
  return nullptr;
}

// A subwoofer in a small room: 85 dB SPL, a 12 dB mode at 45 Hz and a dip at 110 Hz.
std::string RoomText() {
  std::ostringstream text;
  text << "* Measurement data\r\nFreq(Hz) SPL(dB) Phase(degrees)\r\n";
  for (double hz = 10; hz < 20000; hz *= std::exp2(1.0 / 24)) {
    const auto mode = [&](double f0, double db, double q) {
      const double x = (hz / f0 - f0 / hz) * q;
      return db / (1 + x * x);
    };
    text << hz << ' ' << 85 + mode(45, 12, 4) + mode(110, -8, 5) << " 0\r\n";
  }
  return text.str();
}

std::string FlatText(double level_db) {
  std::ostringstream text;
  for (double hz = 20; hz <= 20000; hz *= 2) text << hz << ';' << level_db << '\n';
  return text.str();
}

// Equal value for value, a gap (outside the measurement) matching a gap.
bool SameCurve(const std::vector<double>& a, const std::vector<double>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](double x, double y) { return x == y || (std::isnan(x) && std::isnan(y)); });
}

}  // namespace

class TuningAssistantTest : public QObject {
  Q_OBJECT

 private slots:
  void splScaleAndCurveGeometry() {
    // The window: the mean over the range only, rounded to a row, one row above it.
    const std::vector<double> hz = {10, 20, 100, 500, 1000};
    const std::vector<double> db = {120, 83, std::nan(""), 87, 40};
    QCOMPARE(SplAtZeroRow(hz, db, 20, 500), 90.0);
    QCOMPARE(SplAtZeroRow(hz, db, 2000, 4000), 0.0);  // nothing measured there
    // A value that is not finite breaks the line instead of drawing it across the graph.
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<double> levels = {std::nan(""), 80, 81, -inf, 82, std::nan("")};
    const std::vector<QPolygon> lines = SplPolylines(levels, 85);
    QCOMPARE(lines.size(), std::size_t{2});
    QCOMPARE(lines[0], QPolygon({QPoint(kFirstCurveColumn + 1, TotalToY(-5)),
                                 QPoint(kFirstCurveColumn + 2, TotalToY(-4))}));
    QCOMPARE(lines[1], QPolygon({QPoint(kFirstCurveColumn + 4, TotalToY(-3))}));
  }

  void importShowFitApplyUndo_data() {
    QTest::addColumn<QString>("source");
    QTest::newRow("synthetic room") << QString();
    QTest::newRow("real car subwoofer") << QStringLiteral("cabin07_car_sub_mmm_rta.txt");
  }

  void importShowFitApplyUndo() {
    QFETCH(QString, source);
    Editor e;
    const std::string path = "/pc/measurements/sub.txt";
    if (source.isEmpty()) {
      e.files.files[path] = RoomText();
    } else {
      const std::filesystem::path real =
          std::filesystem::path(VELTRANE_MEASUREMENTS_DIR) / source.toStdString();
      if (!std::filesystem::exists(real)) {
        QSKIP(qPrintable(QStringLiteral("no real measurement at %1")
                             .arg(QString::fromStdString(real.string()))));
      }
      std::ifstream in(real, std::ios::binary);
      e.files.files[path] = std::string(std::istreambuf_iterator<char>(in), {});
    }
    const ParameterModel before = e.model;
    const std::size_t steps = e.features->History().UndoCount();

    e.Import(kOut3, {QString::fromStdString(path)});
    QVERIFY2(e.messages.isEmpty(), qPrintable(e.messages.join('\n')));
    QVERIFY(e.Of(kOut3).has_value());
    QCOMPARE(e.Of(kOut3)->sources, std::vector<std::string>{path});
    QVERIFY(e.Measurements().Bar()->isVisibleTo(&e.window));
    QCOMPARE(e.features->History().UndoCount(), steps);  // a measurement is no edit

    // The curves are drawn for L_OUT's page, around 85 dB SPL on their own scale.
    e.detail.OpenChannelPage(kOut3);
    std::optional<TuningOverlay::Curves> curves = e.Measurements().Overlay().Compute();
    QVERIFY(curves.has_value());
    QVERIFY2(curves->spl_at_zero >= 60 && curves->spl_at_zero <= 110,
             qPrintable(QString::number(curves->spl_at_zero)));
    QVERIFY(e.PixelsOf(kMeasurementColor) > 200);
    // The predicted curve shares its white with the labels: it is counted as what its box
    // adds.
    QCheckBox* predicted = e.Measurements().Bar()->CurveBox(2);
    predicted->setChecked(false);
    const int without_predicted = e.PixelsOf(kPredictedColor);
    predicted->setChecked(true);
    QVERIFY2(e.PixelsOf(kPredictedColor) > without_predicted + 200,
             qPrintable(QString::number(e.PixelsOf(kPredictedColor) - without_predicted)));
    // Each box takes its curve off the graph and puts it back.
    QCheckBox* measured = e.Measurements().Bar()->CurveBox(0);
    measured->setChecked(false);
    QCOMPARE(e.PixelsOf(kMeasurementColor), 0);
    measured->setChecked(true);
    QVERIFY(e.PixelsOf(kMeasurementColor) > 200);

    // The fit from L_OUT's page: better than before, in the processor's own steps.
    ActionOf(e.detail.Page(kOut3), "FitEqAction")->trigger();
    auto* dialog = e.detail.findChild<FitDialog*>();
    QVERIFY(dialog != nullptr && dialog->isVisible());
    const FitResult fit = dialog->Result();
    QVERIFY2(fit.rms_after_db < fit.rms_before_db, qPrintable(dialog->ErrorText()->text()));
    QVERIFY(fit.bands != e.Bands(before, kOut3));
    for (int i = 0; i < kBandsPerChannel; ++i) {
      QCOMPARE(dialog->Bands()->item(i, 2)->text(),
               QString::fromStdString(FormatOneDecimal(kFreqTable[fit.bands[i].freq])));
    }
    QVERIFY(!dialog->findChild<QLabel*>("FitPlot")->pixmap().isNull());

    QTest::mouseClick(dialog->findChild<QPushButton*>("FitApply"), Qt::LeftButton);
    QCOMPARE(e.Bands(e.model, kOut3), fit.bands);
    QCOMPARE(e.features->History().UndoCount(), steps + 1);
    e.clock.Advance(8000);
    QCOMPARE(EncodeParameterImage(e.sim.LiveModel()), EncodeParameterImage(e.model));
    // The predicted curve now carries the fitted bands.
    const std::optional<TuningOverlay::Curves> fitted = e.Measurements().Overlay().Compute();
    QVERIFY(!SameCurve(fitted->predicted, curves->predicted));

    QVERIFY(e.features->Edits().Undo());
    QCOMPARE(EncodeParameterImage(e.model), EncodeParameterImage(before));
    e.clock.Advance(8000);
    QCOMPARE(EncodeParameterImage(e.sim.LiveModel()), EncodeParameterImage(before));
    QVERIFY(SameCurve(e.Measurements().Overlay().Compute()->predicted, curves->predicted));
  }

  void fitDialogFollowsItsSettings() {
    Editor e;
    e.files.files["/pc/room.txt"] = RoomText();
    e.Import(kOut3, {QStringLiteral("/pc/room.txt")});
    FitDialog* dialog = e.Measurements().OpenFit(kOut3, &e.window);
    QVERIFY(dialog != nullptr);
    const BandParams kept = e.model.bands[BandId(kOut3, 0)];
    // An unticked band stays as it is; the others are fitted around it.
    dialog->FreeBand(0)->setChecked(false);
    QCOMPARE(dialog->Result().bands[0], kept);
    QVERIFY(dialog->Bands()->item(0, 0)->text().contains(QStringLiteral("kept")));
    // A tilted target is another target, and the range bounds the grid.
    const std::vector<double> flat = dialog->Problem().target_db;
    dialog->TargetList()->setCurrentIndex(static_cast<int>(TargetKind::kTilt));
    dialog->findChild<QDoubleSpinBox*>("FitTilt")->setValue(-1);
    QCOMPARE(dialog->Target().kind, TargetKind::kTilt);
    QVERIFY(dialog->Problem().target_db != flat);
    dialog->HighHz()->setValue(2000);
    QCOMPARE(dialog->Problem().hz.back(), 2000.0);
    QVERIFY(dialog->Result().rms_after_db <= dialog->Result().rms_before_db);
    // Cancel applies nothing but keeps the target and the range for the graph.
    const ParameterModel before = e.model;
    dialog->reject();
    QCOMPARE(EncodeParameterImage(e.model), EncodeParameterImage(before));
    QCOMPARE(e.Measurements().Session().target.kind, TargetKind::kTilt);
    QCOMPARE(e.Measurements().Overlay().Settings().high_hz, 2000.0);
  }

  void predictedCurveFollowsADrag() {
    Editor e;
    e.files.files["/pc/room.txt"] = RoomText();
    e.Import(kOut3, {QStringLiteral("/pc/room.txt")});
    e.detail.OpenChannelPage(kOut3);
    TuningOverlay& overlay = e.Measurements().Overlay();
    const std::vector<double> start = overlay.Compute()->predicted;
    const QImage image = e.window.Graph()->Image();
    const int band = BandId(kOut3, 2);
    const BandPoint p = e.window.Graph()->Points()[band];
    test::Press(e.window.Graph(), {p.x, p.y});
    test::Move(e.window.Graph(), {p.x, p.y + 40});
    // Mid-drag: the band is cut, and the picture shown has the new prediction.
    const std::vector<double> moved = overlay.Compute()->predicted;
    const int column = FreqToX(kFreqTable[e.model.bands[band].freq]) - kFirstCurveColumn;
    QVERIFY2(moved[column] < start[column] - 3,
             qPrintable(QStringLiteral("%1 -> %2").arg(start[column]).arg(moved[column])));
    QVERIFY(e.window.Graph()->Image() != image);
    test::Release(e.window.Graph(), {p.x, p.y + 40});
  }

  void badFilesAreRefusedAndNothingChanges_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("shows");
    QTest::newRow("no numbers") << QByteArray("* nothing\nhello world\n") << QString();
    QTest::newRow("one point") << QByteArray("100 80\n") << QString();
    QTest::newRow("descending") << QByteArray("20 80\n30 81\n25 82\n40 80\n")
                                << QStringLiteral("line 3");
    QTest::newRow("duplicate") << QByteArray("20 80\n30 81\n30 82\n40 80\n")
                               << QStringLiteral("line 3");
    QTest::newRow("NaN") << QByteArray("20 80\n30 nan\n40 80\n") << QStringLiteral("line 2");
    QTest::newRow("10 MB of junk") << QByteArray(10 * 1024 * 1024, 'x') << QStringLiteral("MB");
  }

  void badFilesAreRefusedAndNothingChanges() {
    QFETCH(QByteArray, text);
    QFETCH(QString, shows);
    Editor e;
    e.files.files["/pc/good.txt"] = RoomText();
    e.files.files["/pc/bad.txt"] = text.toStdString();
    e.Import(kOut1, {QStringLiteral("/pc/good.txt")});
    QVERIFY(e.Of(kOut1).has_value());
    const std::size_t points = e.Of(kOut1)->averaged.points.size();
    const ParameterModel before = e.model;

    // Alone or after a good file: refused whole, the good one stays as it was.
    for (const QStringList& paths :
         {QStringList{"/pc/bad.txt"}, QStringList{"/pc/good.txt", "/pc/bad.txt"}}) {
      e.messages.clear();
      e.Import(kOut1, paths);
      QCOMPARE(e.messages.size(), 1);
      QVERIFY2(
          e.messages[0].contains(QStringLiteral("/pc/bad.txt")) && e.messages[0].contains(shows),
          qPrintable(e.messages[0]));
      QCOMPARE(e.Of(kOut1)->sources, std::vector<std::string>{"/pc/good.txt"});
      QCOMPARE(e.Of(kOut1)->averaged.points.size(), points);
    }
    e.Import(kOut2, {QStringLiteral("/pc/bad.txt")});
    QVERIFY(!e.Of(kOut2).has_value());
    QCOMPARE(EncodeParameterImage(e.model), EncodeParameterImage(before));
  }

  void severalFilesArePowerAveragedAndClearRemovesThem() {
    Editor e;
    e.files.files["/pc/a.csv"] = FlatText(80);
    e.files.files["/pc/b.csv"] = FlatText(86);
    e.Import(kInA, {QStringLiteral("/pc/a.csv"), QStringLiteral("/pc/b.csv")});
    QVERIFY2(e.messages.isEmpty(), qPrintable(e.messages.join('\n')));
    QVERIFY(e.Of(kInA).has_value());
    const double expected = 10 * std::log10((std::pow(10, 8.0) + std::pow(10, 8.6)) / 2);
    for (const MeasuredPoint& point : e.Of(kInA)->averaged.points) {
      QVERIFY(std::abs(point.level_db - expected) < 0.05);
    }
    // Positions with no frequency in common have nothing to average: refused, kept as was.
    e.files.files["/pc/low.csv"] = "20 80\n30 80\n40 80\n";
    e.files.files["/pc/high.csv"] = "1000 80\n2000 80\n4000 80\n";
    e.Import(kInA, {QStringLiteral("/pc/low.csv"), QStringLiteral("/pc/high.csv")});
    QCOMPARE(e.messages.size(), 1);
    QVERIFY2(e.messages[0].contains(QStringLiteral("share no frequency range")),
             qPrintable(e.messages[0]));
    QCOMPARE(e.Of(kInA)->sources, (std::vector<std::string>{"/pc/a.csv", "/pc/b.csv"}));
    ActionOf(e.window.Diagram()->Strip(kInA), "ClearMeasurementAction")->trigger();
    QVERIFY(!e.Of(kInA).has_value());
    QVERIFY(!e.Measurements().Bar()->isVisibleTo(&e.window));
    QCOMPARE(e.PixelsOf(kMeasurementColor), 0);
  }

  void fitWithoutAMeasurementSaysWhy() {
    Editor e;
    ActionOf(e.window.Diagram()->Strip(kOut2), "FitEqAction")->trigger();
    QCOMPARE(e.messages.size(), 1);
    QVERIFY(e.messages[0].contains(QStringLiteral("M_OUT")));
    QVERIFY(e.window.findChild<FitDialog*>() == nullptr);
  }

  void measurementsFollowThePresetFile() {
    Editor e;
    e.files.files["/pc/room.txt"] = RoomText();
    e.Import(kOut3, {QStringLiteral("/pc/room.txt")});
    const std::string preset = "/pc/tuning.txt";
    e.features->Operations().SetFileHandler(
        [&](const FileDialogRequest&) -> std::optional<QString> {
          return QString::fromStdString(preset);
        });
    e.features->File().StoreFile();
    e.clock.Advance(8000);
    QVERIFY(e.files.files.count(preset) == 1);
    const std::string companion = TuningSessionPath(preset);
    QVERIFY(e.files.files.count(companion) == 1);

    // Loading the preset file brings its measurements back in place of others.
    ActionOf(e.window.Diagram()->Strip(kOut3), "ClearMeasurementAction")->trigger();
    e.files.files["/pc/other.txt"] = FlatText(70);
    e.Import(kOut1, {QStringLiteral("/pc/other.txt")});
    e.features->File().LoadFile();
    e.clock.Advance(20000);
    QVERIFY2(e.messages.isEmpty(), qPrintable(e.messages.join('\n')));
    QVERIFY(e.Of(kOut3).has_value());
    QCOMPARE(e.Of(kOut3)->sources, std::vector<std::string>{"/pc/room.txt"});
    QVERIFY(!e.Of(kOut1).has_value());

    // A measurements file that cannot be written is reported; the preset file is written.
    e.files.files.erase(preset);
    e.files.write_errors[companion] = "Disk full";
    e.features->File().StoreFile();
    e.clock.Advance(8000);
    QVERIFY(e.files.files.count(preset) == 1);
    QCOMPARE(e.messages.size(), 1);
    QVERIFY(e.messages[0].contains(QStringLiteral("Disk full")));
  }
};

}  // namespace veltrane

QTEST_MAIN(veltrane::TuningAssistantTest)
#include "tuning_assistant_test.moc"
