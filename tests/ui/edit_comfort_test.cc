// Undo and redo from the keys, the channel menus with their copy and import dialogs, the
// Q wheel on the graph and the delay distances, with the real windows, the features and
// the simulated processor on a virtual clock.

#include <QAction>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTableWidget>
#include <QWheelEvent>
#include <QtTest>
#include <memory>

#include "model/image_codec.h"
#include "model/tables.h"
#include "mouse_events.h"
#include "protocol/engine.h"
#include "protocol/virtual_clock.h"
#include "sim/sim_link.h"
#include "sim/simulator.h"
#include "ui/block_diagram.h"
#include "ui/channel_dialogs.h"
#include "ui/channel_menus.h"
#include "ui/channel_strip.h"
#include "ui/detail_channel_page.h"
#include "ui/detail_names.h"
#include "ui/detail_numeric_field.h"
#include "ui/detail_window.h"
#include "ui/edit_binding.h"
#include "ui/editor_features.h"
#include "ui/main_window.h"
#include "ui/response_graph.h"
#include "ui/window_operation_view.h"
#include "wired_editor.h"

namespace veltrane {
namespace {

struct Editor : test::WiredEditor {
  Editor() {
    detail.SetConfirm([](const QString&, const QString&) { return true; });
    engine.Start();
    engine.ConnectButtonClicked();
    clock.Advance(1000);
  }

  template <typename T = QWidget>
  T* Find(QWidget& in, const QString& name) const {
    T* widget = in.findChild<T*>(name);
    if (widget == nullptr) qFatal("no control %s", qPrintable(name));
    return widget;
  }
  NumericField* BandField(int band_id, char which) const {
    const EqRowNumbers& n = kEqRowNumbers[ChannelOfBand(band_id)];
    const int b = BandNumber(band_id);
    const int number = which == 'f' ? n.frequency[b] : which == 'g' ? n.gain[b] : n.q[b];
    return Find<NumericField>(const_cast<DetailWindow&>(detail), EditName(number));
  }
  ResponseGraph* Graph() const { return window.Graph(); }
  QPoint PointOf(int band_id) const {
    const BandPoint p = Graph()->Points()[band_id];
    return {p.x, p.y};
  }
  EditHistory& History() const { return features->History(); }
  // Write frames of one band's block that left for the processor since `from`.
  int BandFramesSince(std::size_t from, int band_id) const {
    int frames = 0;
    for (std::size_t i = from; i < port.sent().size(); ++i) {
      const Bytes& f = port.sent()[i].bytes;
      frames += f.size() == 20 && f[4] == kCmdWrite && f[6] == ChannelOfBand(band_id) &&
                f[7] == EqBandBlockNumber(band_id);
    }
    return frames;
  }
};

using test::Move;
using test::Press;
using test::Release;
using test::SendMouse;
void Wheel(QWidget* w, QPoint p, int delta) {
  QWheelEvent event(QPointF(p), QPointF(w->mapToGlobal(p)), QPoint(), QPoint(0, delta),
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(w, &event);
}

QStringList ActionNames(const QWidget* widget) {
  QStringList names;
  for (const QAction* action : widget->actions()) {
    if (!action->isSeparator()) names << action->objectName();
  }
  return names;
}

QAction* ActionOf(const QWidget* widget, const char* name) {
  for (QAction* action : widget->actions()) {
    if (action->objectName() == QLatin1String(name)) return action;
  }
  qFatal("no action %s", name);
  return nullptr;
}

}  // namespace

class EditComfortTest : public QObject {
  Q_OBJECT

 private slots:
  void ctrlZAfterADragRestoresThePointAndTheFields() {
    Editor e;
    e.detail.OpenChannelPage(kOut1);
    e.window.show();
    e.window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&e.window));
    const int band = BandId(kOut1, 4);
    const BandParams before = e.model.bands[band];
    const QPoint start = e.PointOf(band);
    NumericField* freq = e.BandField(band, 'f');
    NumericField* gain = e.BandField(band, 'g');
    QCOMPARE(freq->text(), QStringLiteral("500.0"));
    QCOMPARE(gain->text(), QStringLiteral("0.0"));

    Press(e.Graph(), start);
    for (int i = 1; i <= 50; ++i) Move(e.Graph(), start + QPoint(-4 * i, 2 * i));
    Release(e.Graph(), start + QPoint(-200, 100));
    QVERIFY(e.PointOf(band) != start);
    QVERIFY(freq->text() != QStringLiteral("500.0"));
    QCOMPARE(e.History().UndoCount(), 1u);
    e.clock.Advance(1000);
    QCOMPARE(e.sim.LiveModel().bands[band], e.model.bands[band]);
    const BandParams dragged = e.model.bands[band];

    QTest::keySequence(&e.window, QKeySequence(Qt::CTRL | Qt::Key_Z));
    QCOMPARE(e.PointOf(band), start);
    QCOMPARE(freq->text(), QStringLiteral("500.0"));
    QCOMPARE(gain->text(), QStringLiteral("0.0"));
    QCOMPARE(e.model.bands[band], before);
    QCOMPARE(e.state.selected_band, band);
    // The graph is H_OUT with its points, redrawn: the restored point is painted there.
    QCOMPARE(QColor(e.Graph()->Image().pixel(start)), BandColor(4));
    e.clock.Advance(1000);
    QCOMPARE(e.sim.LiveModel().bands[band], before);

    // Redo from the detail window, both keys.
    e.detail.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&e.detail));
    QTest::keySequence(&e.detail, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    QCOMPARE(e.model.bands[band], dragged);
    QCOMPARE(freq->text(), QString::fromStdString(FormatOneDecimal(kFreqTable[dragged.freq])));
    QTest::keySequence(&e.detail, QKeySequence(Qt::CTRL | Qt::Key_Z));
    QTest::keySequence(&e.detail, QKeySequence(Qt::CTRL | Qt::Key_Y));
    QCOMPARE(e.model.bands[band], dragged);

    // In a box with typed text, Ctrl+Z takes back the typing first; then the edits.
    freq->setFocus(Qt::MouseFocusReason);
    freq->selectAll();
    QTest::keyClicks(freq, QStringLiteral("1234"));
    QTest::keySequence(freq, QKeySequence(Qt::CTRL | Qt::Key_Z));
    QCOMPARE(freq->text(), QString::fromStdString(FormatOneDecimal(kFreqTable[dragged.freq])));
    QCOMPARE(e.model.bands[band], dragged);
    QTest::keySequence(freq, QKeySequence(Qt::CTRL | Qt::Key_Z));
    QCOMPARE(e.model.bands[band], before);
    QCOMPARE(freq->text(), QStringLiteral("500.0"));
    e.detail.Pages()->setFocus();  // leaving the box commits nothing
    QCOMPARE(e.History().UndoCount(), 0u);
  }

  // The user leaves a band's field of the detail window by pressing on another point of
  // the graph; the field commits as the window loses the focus, after the press, and the
  // drag must still move the point that was grabbed.
  void firstDragAfterADetailFieldMovesTheGrabbedBand() {
    Editor e;
    e.detail.OpenChannelPage(kOut1);
    e.window.show();
    e.detail.show();
    e.detail.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&e.detail));
    const int typed = BandId(kOut1, 2);
    const int grabbed = BandId(kOut1, 5);
    e.BandField(typed, 'g')->setFocus(Qt::MouseFocusReason);
    QCOMPARE(QApplication::focusWidget(), e.BandField(typed, 'g'));
    const BandParams typed_before = e.model.bands[typed];
    const BandParams grabbed_before = e.model.bands[grabbed];
    const QPoint start = e.PointOf(grabbed);
    QVERIFY(start != e.PointOf(typed));

    Press(e.Graph(), start);
    e.window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&e.window));
    for (int i = 1; i <= 20; ++i) Move(e.Graph(), start + QPoint(5 * i, -2 * i));
    Release(e.Graph(), start + QPoint(100, -40));
    e.clock.Advance(1000);
    QCOMPARE(e.model.bands[typed], typed_before);
    QVERIFY(e.model.bands[grabbed] != grabbed_before);
    QCOMPARE(e.state.selected_band, grabbed);
    QCOMPARE(e.sim.LiveModel().bands[typed], typed_before);
    QCOMPARE(e.sim.LiveModel().bands[grabbed], e.model.bands[grabbed]);
  }

  // Undo and Redo, menu entries and keys, are on only while there is something to take
  // back or redo; a drag under way can be taken back.
  void undoAndRedoAreOnlyOnWithSomethingToDo() {
    Editor e;
    e.detail.OpenChannelPage(kOut1);
    QAction* undo = ActionOf(&e.window, "UndoAction");
    QAction* redo = ActionOf(&e.window, "RedoAction");
    const auto states = [&] { return std::make_pair(undo->isEnabled(), redo->isEnabled()); };
    QCOMPARE(states(), std::make_pair(false, false));

    const QPoint start = e.PointOf(BandId(kOut1, 4));
    Press(e.Graph(), start);
    QCOMPARE(states(), std::make_pair(true, false));
    Release(e.Graph(), start);  // nothing moved: nothing to undo
    QCOMPARE(states(), std::make_pair(false, false));

    Press(e.Graph(), start);
    for (int i = 1; i <= 10; ++i) Move(e.Graph(), start + QPoint(-4 * i, 2 * i));
    Release(e.Graph(), start + QPoint(-40, 20));
    QCOMPARE(states(), std::make_pair(true, false));
    undo->trigger();
    QCOMPARE(states(), std::make_pair(false, true));
    redo->trigger();
    QCOMPARE(states(), std::make_pair(true, false));
    e.History().Clear();
    QCOMPARE(states(), std::make_pair(false, false));
  }

  void nothingIsUndoneWhileAResetHoldsTheWindows() {
    Editor e;
    e.detail.OpenChannelPage(kOut1);
    const BandParams shelf = e.model.bands[BandId(kOut1, 7)];
    QTest::mouseClick(e.Find<QPushButton>(e.detail, ButtonName(kFirstResetButton + kOut1)),
                      Qt::LeftButton);
    QVERIFY(e.detail.Resetting());
    QCOMPARE(e.model.bands[BandId(kOut1, 7)], DefaultBand(7));
    QVERIFY(!e.features->Edits().Undo());
    e.clock.Advance(kResetTicks * kResetTickMs);
    QVERIFY(e.features->Edits().Undo());  // the whole Reset is one step
    QCOMPARE(e.model.bands[BandId(kOut1, 7)], shelf);
    QCOMPARE(e.BandField(BandId(kOut1, 7), 'f')->text(), QStringLiteral("11300.0"));
  }

  void aSliderGestureIsOneStepAndTheDelayShowsItsDistance() {
    Editor e;
    e.detail.OpenDelayPage();
    auto* slider = e.Find<QSlider>(e.detail, ChannelControlName("DelaySlider", kOut2));
    auto* label = e.Find<QLabel>(e.detail, ChannelControlName("DelayLabel", kOut2));
    const int start = slider->value();
    slider->setSliderDown(true);
    for (int v = 1; v <= 40; ++v) slider->setValue(start + 3 * v);
    slider->setSliderDown(false);
    QCOMPARE(e.History().UndoCount(), 1u);
    QCOMPARE(e.model.channels[kOut2].delay, start + 120);
    const QString distance = QStringLiteral("%1 = %2 at 343 m/s")
                                 .arg(QString::fromStdString(FormatDelay(start + 120)),
                                      QString::fromStdString(FormatDelayDistance(start + 120)));
    QCOMPARE(slider->toolTip(), distance);
    QCOMPARE(label->toolTip(), distance);

    QVERIFY(e.features->Edits().Undo());
    QCOMPARE(slider->value(), start);
    QCOMPARE(label->text(), QString::fromStdString(FormatDelay(start)));
    QVERIFY(slider->toolTip().startsWith(QString::fromStdString(FormatDelay(start)) + " = "));
    // A step of the keyboard or the wheel is a step of its own.
    slider->setValue(139);
    QCOMPARE(slider->toolTip(), QStringLiteral("2.919 ms = 1.001 m / 3.28 ft at 343 m/s"));
    QCOMPARE(e.History().UndoCount(), 1u);
  }

  void wheelOverTheSelectedPointStepsItsQ() {
    Editor e;
    e.detail.OpenChannelPage(kOut1);
    const int band = BandId(kOut1, 2);  // the demo's 4000 Hz cut, Q 2.6
    NumericField* q = e.BandField(band, 'q');
    QCOMPARE(q->text(), QStringLiteral("2.6"));
    const QPoint point = e.PointOf(band);
    Wheel(e.Graph(), point, 120);  // not selected yet
    QCOMPARE(q->text(), QStringLiteral("2.6"));
    Press(e.Graph(), point);
    Release(e.Graph(), point);

    const std::size_t mark = e.port.sent().size();
    for (int notch = 1; notch <= 3; ++notch) {
      Wheel(e.Graph(), point + QPoint(3, -3), 120);
      e.clock.Advance(600);
    }
    QCOMPARE(q->text(), QStringLiteral("3.2"));
    QCOMPARE(e.model.bands[band].q, 15);
    QCOMPARE(e.BandFramesSince(mark, band), 3);
    QCOMPARE(e.sim.LiveModel().bands[band].q, 15);
    // A fine wheel adds up to a notch; downwards is the other way; away from it, nothing.
    Wheel(e.Graph(), point, -60);
    QCOMPARE(q->text(), QStringLiteral("3.2"));
    Wheel(e.Graph(), point, -60);
    QCOMPARE(q->text(), QStringLiteral("3.0"));
    Wheel(e.Graph(), point + QPoint(8, 0), 120);
    QCOMPARE(q->text(), QStringLiteral("3.0"));
    QCOMPARE(e.History().UndoCount(), 4u);  // one step per notch, as the step buttons

    // A shelf has no Q to step.
    const int shelf = BandId(kOut1, 7);
    Press(e.Graph(), e.PointOf(shelf));
    Release(e.Graph(), e.PointOf(shelf));
    const std::uint8_t shelf_q = e.model.bands[shelf].q;
    Wheel(e.Graph(), e.PointOf(shelf), 120);
    QCOMPARE(e.model.bands[shelf].q, shelf_q);
  }

  void contextMenusExistOnlyWhereAChannelIsKnown() {
    Editor e;
    for (int channel = 0; channel < kChannelCount; ++channel) {
      const ChannelStrip* strip = e.window.Diagram()->Strip(channel);
      const bool shown = channel != kInB && channel != kOut4;
      // Outputs that share a crossover with a neighbour can be aligned with it.
      const bool paired = channel >= kOut1 && channel <= kOut3;
      QStringList own = {QStringLiteral("CopySettingsAction")};
      if (paired) own << QStringLiteral("AlignOutputsAction");
      const QStringList tuning = {"ImportMeasurementAction", "ClearMeasurementAction",
                                  "FitEqAction"};
      QCOMPARE(ActionNames(strip), shown ? own + tuning : QStringList());
      if (shown) QCOMPARE(strip->contextMenuPolicy(), Qt::ActionsContextMenu);
      QCOMPARE(ActionNames(e.detail.Page(channel)),
               own + QStringList({"ImportFiltersAction", "ExportFiltersAction"}) + tuning);
      QCOMPARE(e.detail.Page(channel)->contextMenuPolicy(), Qt::ActionsContextMenu);
    }
    for (int page : {kGainPage, kDelayPage, kLimiterPage, kMixerPage}) {
      QVERIFY(ActionNames(e.detail.Pages()->widget(page)).isEmpty());
    }
    QVERIFY(ActionNames(e.Graph()).isEmpty());
    QVERIFY(ActionNames(e.window.GraphArea()).isEmpty());
    const QStringList main = ActionNames(&e.window);
    QCOMPARE(main.mid(0, 2), QStringList({"UndoAction", "RedoAction"}));
    QVERIFY(main.contains(QStringLiteral("AboutAction")));
    QVERIFY(!main.contains(QStringLiteral("CopySettingsAction")));
    QCOMPARE(ActionNames(&e.detail), QStringList({"UndoAction", "RedoAction"}));
    // The boxes and buttons of a page leave their menu to the page.
    QCOMPARE(e.BandField(BandId(kOut2, 0), 'f')->contextMenuPolicy(), Qt::NoContextMenu);
  }

  void copyDialogCopiesTheChosenPartsAsOneStep() {
    Editor e;
    ActionOf(e.window.Diagram()->Strip(kInA), "CopySettingsAction")->trigger();
    auto* from_input = e.window.findChild<CopySettingsDialog*>();
    QVERIFY(from_input != nullptr && from_input->isVisible());
    QVERIFY(!e.Find<QCheckBox>(*from_input, "CopyLimiter")->isEnabled());
    from_input->reject();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    ActionOf(e.window.Diagram()->Strip(kOut1), "CopySettingsAction")->trigger();
    auto* dialog = e.window.findChild<CopySettingsDialog*>();
    QVERIFY(dialog != nullptr);
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Copy H_OUT settings"));
    QStringList targets;
    for (const QCheckBox* box : dialog->findChildren<QCheckBox*>()) {
      if (box->objectName().startsWith(QLatin1String("CopyTo"))) targets << box->text();
    }
    QCOMPARE(targets, QStringList({"IN", "M_OUT", "L_OUT"}));
    QPushButton* ok = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
    QVERIFY(!ok->isEnabled());  // no target yet
    e.Find<QCheckBox>(*dialog, "CopyTo3")->setChecked(true);
    e.Find<QCheckBox>(*dialog, "CopyCrossover")->setChecked(true);
    QVERIFY(ok->isEnabled());
    const ParameterModel before = e.model;
    QTest::mouseClick(ok, Qt::LeftButton);

    for (int b = 0; b < kBandsPerChannel; ++b) {
      QCOMPARE(e.model.bands[BandId(kOut2, b)], e.model.bands[BandId(kOut1, b)]);
    }
    QCOMPARE(e.model.channels[kOut2].hp_type, e.model.channels[kOut1].hp_type);
    QCOMPARE(e.model.channels[kOut2].delay, before.channels[kOut2].delay);
    QCOMPARE(e.model.Output(kOut2), before.Output(kOut2));
    QCOMPARE(e.BandField(BandId(kOut2, 7), 'f')->text(), QStringLiteral("11300.0"));
    QCOMPARE(e.History().UndoCount(), 1u);
    e.clock.Advance(8000);
    QCOMPARE(EncodeParameterImage(e.sim.LiveModel()), EncodeParameterImage(e.model));

    QVERIFY(e.features->Edits().Undo());
    QCOMPARE(EncodeParameterImage(e.model), EncodeParameterImage(before));
    QCOMPARE(
        e.BandField(BandId(kOut2, 7), 'f')->text(),
        QString::fromStdString(FormatOneDecimal(kFreqTable[before.bands[BandId(kOut2, 7)].freq])));

    // From a page, answered by a script: L_OUT's gain and delay onto IN, polarity untouched.
    std::vector<int> asked;
    e.features->Menus().SetCopyHandler([&asked](int source) -> std::optional<CopyRequest> {
      asked.push_back(source);
      return CopyRequest{{kInA}, {.gain_delay = true}};
    });
    e.model.channels[kOut3].delay = 77;
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // the closed dialog
    ActionOf(e.detail.Page(kOut3), "CopySettingsAction")->trigger();
    QCOMPARE(asked, std::vector<int>{kOut3});
    QCOMPARE(e.model.channels[kInA].delay, 77);
    QCOMPARE(e.model.channels[kInA].polarity, before.channels[kInA].polarity);
    QCOMPARE(e.Find<QSlider>(e.detail, ChannelControlName("DelaySlider", kInA))->value(), 77);
    QVERIFY(e.window.findChild<CopySettingsDialog*>() == nullptr);
  }

  void importFromThePageListsWhatRoundingChanged() {
    Editor e;
    e.files.files["/pc/rew.txt"] =
        "Preamp: -3 dB\n"
        "Filter 1: ON PK Fc 120 Hz Gain -4,5 dB Q 2.50\n"
        "Filter 2: ON PK Fc 1000 Hz Gain -3.0 dB Q 4\n"
        "Filter 3: ON LP Fc 90 Hz\n"
        "Filter 4: ON LSC 12 dB Fc 80 Hz Gain 3 dB\n";
    e.features->Operations().SetFileHandler(
        [](const FileDialogRequest& dialog) -> std::optional<QString> {
          return dialog.save ? QStringLiteral("/pc/out.txt") : QStringLiteral("/pc/rew.txt");
        });
    e.detail.OpenChannelPage(kOut3);
    ActionOf(e.detail.Page(kOut3), "ImportFiltersAction")->trigger();
    auto* dialog = e.detail.findChild<FilterImportDialog*>();
    QVERIFY(dialog != nullptr && dialog->isVisible());
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Import EQ filters into L_OUT"));
    const QString notes = e.Find<QLabel>(*dialog, "ImportNotes")->text();
    QVERIFY(notes.contains("3 filters become bands 1 to 3; bands 4 to 8 will be flat (0 dB)."));
    QVERIFY(
        notes.contains("Not imported, line 4: Filter 3: type LP is not a peaking or shelf "
                       "filter"));
    QVERIFY(notes.contains("preamp of -3 dB is not applied"));
    const QTableWidget* table = dialog->Table();
    QCOMPARE(table->rowCount(), 3);
    const auto cell = [table](int r, int c) { return table->item(r, c)->text(); };
    QCOMPARE(cell(0, 3), QString::fromUtf8("120 → 121"));
    QCOMPARE(cell(0, 4), QString::fromUtf8("-4.5 → -4.6"));
    QCOMPARE(cell(0, 5), QString::fromUtf8("2.5 → 2.4"));
    QVERIFY(table->item(0, 3)->font().bold());
    QCOMPARE(cell(1, 3), QStringLiteral("1000"));  // exact: unchanged, plain
    QVERIFY(!table->item(1, 3)->font().bold());
    QCOMPARE(cell(2, 1), QStringLiteral("Filter 4"));
    QCOMPARE(cell(2, 2), QString::fromUtf8("LSC 12 dB → LS 6dB"));
    QCOMPARE(cell(2, 5), QStringLiteral("none (shelf)"));
    QCOMPARE(e.History().UndoCount(), 0u);  // nothing happens before the user says so

    QTest::mouseClick(dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok),
                      Qt::LeftButton);
    QCOMPARE(e.BandField(BandId(kOut3, 0), 'f')->text(), QStringLiteral("121.0"));
    QCOMPARE(e.BandField(BandId(kOut3, 0), 'g')->text(), QStringLiteral("-4.6"));
    QCOMPARE(e.BandField(BandId(kOut3, 0), 'q')->text(), QStringLiteral("2.4"));
    QCOMPARE(e.model.bands[BandId(kOut3, 2)].type, kLowShelf);
    QCOMPARE(e.BandField(BandId(kOut3, 2), 'q')->text(), QString());  // a shelf's Q box
    QCOMPARE(e.History().UndoCount(), 1u);
    QCOMPARE(e.Graph()->Points()[BandId(kOut3, 0)].x, FreqToX(121));

    // Answered No by a script, the list changes nothing.
    e.features->Menus().SetImportHandler([](int, const FilterImport&) { return false; });
    ActionOf(e.detail.Page(kOut2), "ImportFiltersAction")->trigger();
    QCOMPARE(e.History().UndoCount(), 1u);

    ActionOf(e.detail.Page(kOut3), "ExportFiltersAction")->trigger();
    QVERIFY(e.files.files.at("/pc/out.txt")
                .starts_with("# VELTRANE PROCESSOR L_OUT: EQ bands 1 to 8\r\n"
                             "Filter 1: ON PK Fc 121 Hz Gain -4.6 dB Q 2.40\r\n"));
    QVERIFY(e.messages.isEmpty());
  }
};

}  // namespace veltrane

QTEST_MAIN(veltrane::EditComfortTest)
#include "edit_comfort_test.moc"
