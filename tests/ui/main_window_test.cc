// The main window with a real detail window and protocol engine on a virtual clock,
// talking to a serial port that records what is written.

#include "ui/main_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QWheelEvent>
#include <QtTest>
#include <vector>

#include "hex_util.h"
#include "model/blocks.h"
#include "model/image_codec.h"
#include "protocol/engine.h"
#include "protocol/engine_harness.h"
#include "protocol/virtual_clock.h"
#include "tab_walk.h"
#include "ui/block_diagram.h"
#include "ui/channel_strip.h"
#include "ui/detail_names.h"
#include "ui/detail_window.h"
#include "ui/focus_ring.h"
#include "ui/response_graph.h"
#include "ui/top_bar.h"
#include "ui/widget_colors.h"

namespace veltrane {
namespace {

struct Editor {
  ParameterModel model;
  EditorState state;
  VirtualClock clock;
  MainWindow window{model, clock, state};
  DetailWindow detail{model, clock, state};
  test::RecordingSerialPort port{clock};
  ProtocolEngine engine{clock, model, window};
  QStringList messages;

  Editor() {
    window.SetMessageHandler([this](const QString& text) { messages << text; });
    window.AttachDetailWindow(&detail);
    window.AttachEngine(&engine);
    engine.SetSerialPort(&port);
    engine.SelectPort("ttyS9", 9);
    engine.Start();
  }

  template <typename T>
  T* Find(const QString& name) const {
    return window.findChild<T*>(name);
  }
  QPushButton* StripButton(int channel, veltrane::StripButton button) const {
    return window.Diagram()->Strip(channel)->Button(button);
  }
  void Click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
  // Connect button, port opened after the 100 ms wait, image request sent.
  void Connect() {
    Click(window.Bar()->ConnectButton());
    clock.Advance(150);
  }
  void ReceiveImage(const ParameterModel& image_model) {
    engine.OnBytes(test::Sealed(test::Hex(EncodeParameterImage(image_model))));
  }
  void ReceiveNames() {
    std::vector<std::uint8_t> data(400, 0);
    engine.OnBytes(BuildFrame(engine.DeviceId(), 0x52, 0, 0x26, 0, data));
  }
  QString CurrentTab() const { return detail.Pages()->tabText(detail.Pages()->currentIndex()); }
  bool AnySlotPending() const {
    for (int slot = 1; slot <= kSlotCount; ++slot) {
      if (engine.SlotPending(slot)) return true;
    }
    return false;
  }
};

void Wheel(QWidget* over, int delta) {
  QWheelEvent event(QPointF(5, 5), over->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, delta),
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(over, &event);
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void DesignState() {
    Editor e;
    QCOMPARE(e.window.windowTitle(), QStringLiteral("VELTRANE PROCESSOR"));
    QCOMPARE(e.window.size(), QSize(977, 665));
    QCOMPARE(FillColor(&e.window), QColor(94, 94, 94));
    // Centred by the 985 x 694 the window measures with its frame, not by its client area.
    const QRect desktop = QGuiApplication::primaryScreen()->availableGeometry();
    QCOMPARE(e.window.pos(), desktop.center() - QPoint(492, 347));
    QCOMPARE(e.Find<QPushButton>("ConnectButton")->text(), QStringLiteral("Disconnect"));
    QCOMPARE(e.window.PortList()->objectName(), QStringLiteral("PortList"));

    const QComboBox* ids = e.Find<QComboBox>("RzComboBox2");
    QCOMPARE(ids, e.window.DeviceIdList());
    QCOMPARE(ids->count(), 256);
    QCOMPARE(ids->itemText(255), QStringLiteral("256"));
    QCOMPARE(ids->currentText(), QStringLiteral("1"));
    const QComboBox* slot_list = e.Find<QComboBox>("RzComboBox84");
    QCOMPARE(slot_list->count(), 20);
    QCOMPARE(slot_list->itemText(19), QStringLiteral("Pre20:"));
    QCOMPARE(e.Find<QLineEdit>("edt1")->maxLength(), 19);
    QCOMPARE(e.Find<QComboBox>("RzComboBox85")->count(), 0);
    const QComboBox* change = e.Find<QComboBox>("cbb4");
    QCOMPARE(change->count(), 251);
    QCOMPARE(change->itemText(0), QStringLiteral("01"));
    QCOMPARE(change->itemText(249), QStringLiteral("250"));
    QCOMPARE(change->itemText(250), QString());
    for (const char* name :
         {"StorePresetButton", "LoadPresetButton", "LoadFileButton", "StoreFileButton",
          "Save20GroupButton", "Load20GroupButton", "ChangeButton"}) {
      QVERIFY2(e.Find<QPushButton>(name) != nullptr, name);
    }
    QVERIFY(e.window.HistoryList()->isHidden() && e.window.DeviceList()->isHidden());
    QCOMPARE(e.window.HidStatusLabel()->text(), QStringLiteral("接到回复数据时显示已连上"));
    QVERIFY(e.window.HidStatusLabel()->isHidden());

    auto* connecting = e.Find<QWidget>("ConnectingBox");
    QVERIFY(connecting->isHidden());
    QVERIFY(connecting->findChild<QLabel*>()->text() ==
            QStringLiteral("Please wait,connecting  device..............") + QString(24, ' '));
    QVERIFY(e.Find<QWidget>("TransferBox")->isHidden());
    QVERIFY(e.window.LockLabel()->isHidden());
    QCOMPARE(e.Find<QLabel>("TitleLabel")->text(), QStringLiteral("show all "));
    QCOMPARE(e.window.Graph()->mapTo(&e.window, QPoint(0, 0)), QPoint(18, 100));

    // Strips: In B and Out 4 exist but are hidden, as are the Mixer buttons.
    for (int channel = 0; channel < kChannelCount; ++channel) {
      const bool shown = channel != kInB && channel != kOut4;
      QCOMPARE(e.window.Diagram()->Strip(channel)->isHidden(), !shown);
      QCOMPARE(e.window.Bar()->Legend()->CheckBox(channel)->isHidden(), !shown);
      QVERIFY(e.window.Bar()->Legend()->CheckBox(channel)->isChecked());
      QCOMPARE(ButtonColor(e.StripButton(channel, StripButton::kMute)), kSilver);
      QCOMPARE(e.StripButton(channel, StripButton::kPolarity)->text(), QStringLiteral("Pol+"));
      QCOMPARE(e.StripButton(channel, StripButton::kLimiter) != nullptr, IsOutput(channel));
    }
    QVERIFY(e.StripButton(kOut1, StripButton::kMixer)->isHidden());
    // Strip columns and rows inside the block diagram.
    const auto pos = [&e](int channel, StripButton button) {
      return e.StripButton(channel, button)->mapTo(e.window.Diagram(), QPoint(0, 0));
    };
    QCOMPARE(pos(kInA, StripButton::kMute), QPoint(108, 21));
    QCOMPARE(pos(kInA, StripButton::kXOver), QPoint(333, 21));
    QCOMPARE(pos(kOut2, StripButton::kMute), QPoint(535, 61));
    QCOMPARE(pos(kOut3, StripButton::kLimiter), QPoint(813, 101));
    QCOMPARE(e.StripButton(kOut3, StripButton::kLimiter)->size(), QSize(50, 22));
  }

  void ConnectFailsWithoutPort() {
    Editor e;
    e.port.open_fails = true;
    e.Click(e.window.Bar()->ConnectButton());
    QVERIFY(!e.Find<QWidget>("ConnectingBox")->isHidden());
    QVERIFY(!e.window.Bar()->isEnabled());  // disabled while opening
    e.clock.Advance(150);
    QCOMPARE(e.messages, QStringList{"No port or in use."});
    QCOMPARE(e.window.Bar()->ConnectButton()->text(), QStringLiteral("Disconnect"));
    QVERIFY(e.window.Bar()->isEnabled() && e.window.Diagram()->isEnabled() &&
            e.window.Graph()->parentWidget()->isEnabled());
    QVERIFY(e.Find<QWidget>("ConnectingBox")->isHidden());
  }

  void ImageShowsStripsAndPanels() {
    Editor e;
    e.window.show();
    e.Connect();
    QCOMPARE(e.window.Bar()->ConnectButton()->text(), QStringLiteral("Connect"));
    QVERIFY(e.Find<QWidget>("ConnectingBox")->isVisible());
    QVERIFY(!e.window.Diagram()->isEnabled());
    e.clock.Advance(100);  // one connecting tick, one lamp refresh
    QCOMPARE(e.Find<QWidget>("ConnectingBox")->findChild<QProgressBar*>()->value(), 10);
    QCOMPARE(FillColor(e.window.Bar()->Lamp()), kLampGreen);

    ParameterModel image;
    image.channels[kOut1].mute = 2;
    image.channels[kOut1].polarity = 2;
    image.channels[kOut2].mute = 1;
    e.ReceiveImage(image);
    QVERIFY(e.Find<QWidget>("ConnectingBox")->isHidden());
    QVERIFY(e.window.Diagram()->isEnabled() && e.window.Bar()->isEnabled());
    QVERIFY(!e.window.PortList()->isEnabled() && !e.window.DeviceIdList()->isEnabled());
    QCOMPARE(ButtonColor(e.StripButton(kOut1, StripButton::kMute)), kLightGrey);
    QCOMPARE(ButtonColor(e.StripButton(kOut2, StripButton::kMute)), kActiveRed);
    QCOMPARE(ButtonColor(e.StripButton(kInA, StripButton::kMute)), kLightGrey);
    QCOMPARE(e.StripButton(kOut1, StripButton::kPolarity)->text(), QStringLiteral("Pol-"));
    QCOMPARE(e.StripButton(kOut2, StripButton::kPolarity)->text(), QStringLiteral("Pol+"));
    QCOMPARE(e.state.selected_band, 47);  // the graph ran its full recompute
    QVERIFY(!e.AnySlotPending());

    // A refresh while connected must not echo anything back to the processor.
    e.window.ApplyModelToControls();
    QVERIFY(!e.AnySlotPending());

    // Mute 2 reads as muted: the click unmutes (silver), polarity 2 as not inverted.
    const int out1_slot = SlotOfBlock(kOut1, kChannelBlock);
    e.Click(e.StripButton(kOut1, StripButton::kMute));
    QCOMPARE(ButtonColor(e.StripButton(kOut1, StripButton::kMute)), kSilver);
    QCOMPARE(int(e.model.channels[kOut1].mute), 0);
    QVERIFY(e.engine.SlotPending(out1_slot));
    e.Click(e.StripButton(kOut1, StripButton::kPolarity));
    QCOMPARE(e.StripButton(kOut1, StripButton::kPolarity)->text(), QStringLiteral("Pol-"));
    QCOMPARE(int(e.model.channels[kOut1].polarity), 1);

    // In A twice: red, then silver, mute 0, its block queued.
    e.Click(e.StripButton(kInA, StripButton::kMute));
    QCOMPARE(ButtonColor(e.StripButton(kInA, StripButton::kMute)), kActiveRed);
    QCOMPARE(int(e.model.channels[kInA].mute), 1);
    e.Click(e.StripButton(kInA, StripButton::kMute));
    QCOMPARE(ButtonColor(e.StripButton(kInA, StripButton::kMute)), kSilver);
    QCOMPARE(int(e.model.channels[kInA].mute), 0);
    QVERIFY(e.engine.SlotPending(SlotOfBlock(kInA, kChannelBlock)));
  }

  void StripsOpenDetailPages() {
    Editor e;
    e.window.show();
    e.Click(e.StripButton(kOut2, StripButton::kEq));
    QVERIFY(e.detail.isVisible());
    QCOMPARE(e.CurrentTab(), QStringLiteral("M_OUT"));
    QCOMPARE(e.Find<QLabel>("TitleLabel")->text(), QStringLiteral("M_OUT"));
    QCOMPARE(e.state.selected_band, 24);
    QCOMPARE(e.state.shown_channel, kOut2 + 1);
    QVERIFY(e.state.single_channel_mode);
    QCOMPARE(e.window.Graph()->PenWidth(), 1);
    QVERIFY(!e.window.Bar()->Legend()->CheckBox(kOut1)->isEnabled());

    // Every Gain button leads to the one page of all channels.
    e.Click(e.StripButton(kOut3, StripButton::kGain));
    QCOMPARE(e.CurrentTab(), QStringLiteral("Gain"));
    e.Click(e.StripButton(kInA, StripButton::kGain));
    QCOMPARE(e.CurrentTab(), QStringLiteral("Gain"));
    QCOMPARE(e.state.shown_channel, 7);
    e.Click(e.StripButton(kOut1, StripButton::kLimiter));
    QCOMPARE(e.CurrentTab(), QStringLiteral("Limiters"));
    e.Click(e.StripButton(kInA, StripButton::kDelay));
    QCOMPARE(e.CurrentTab(), QStringLiteral(" Delay "));

    // Hiding it (as a connect does) brings the graph back to all channels.
    e.window.HideDetailWindow();
    QVERIFY(!e.detail.isVisible());
    QCOMPARE(e.Find<QLabel>("TitleLabel")->text(), QStringLiteral("show all"));
    QVERIFY(e.window.Bar()->Legend()->CheckBox(kOut1)->isEnabled());
    QCOMPARE(e.window.Graph()->PenWidth(), 2);
  }

  // The detail window opens by the graph, inside the screen, wherever it was before; while
  // it is open it stays where the user put it.
  void DetailWindowOpensByTheGraph() {
    Editor e;
    e.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&e.window));
    const QRect available = e.window.screen()->availableGeometry();
    const QRect graph(e.window.Graph()->mapToGlobal(QPoint(0, 0)), e.window.Graph()->size());
    const QPoint expected = DetailWindowPosition(graph, e.detail.frameGeometry().size(), available);
    e.detail.move(0, 0);  // over the connect button
    e.Click(e.StripButton(kOut1, StripButton::kEq));
    QVERIFY(e.detail.isVisible());
    QCOMPARE(e.detail.pos(), expected);
    QVERIFY(available.contains(e.detail.frameGeometry()));

    e.detail.move(expected + QPoint(5, 5));
    e.Click(e.StripButton(kOut2, StripButton::kEq));
    QCOMPARE(e.detail.pos(), expected + QPoint(5, 5));
    e.window.HideDetailWindow();
    e.Click(e.StripButton(kInA, StripButton::kGain));
    QCOMPARE(e.detail.pos(), expected);
  }

  void ClosingTheMainWindowEndsTheProgram() {
    Editor editor;
    editor.window.show();
    editor.Click(editor.StripButton(kOut1, StripButton::kEq));
    QVERIFY(editor.detail.isVisible());
    // The application's own loop decides whether closing it ends the program: it must
    // return on its own, long before the fallback would end it.
    QTimer::singleShot(0, &editor.window, [&editor] { editor.window.close(); });
    QTimer give_up;
    give_up.setSingleShot(true);
    connect(&give_up, &QTimer::timeout, qApp, &QCoreApplication::quit);
    give_up.start(5000);
    QCoreApplication::exec();
    QVERIFY(give_up.isActive());
  }

  void LegendDeviceIdAndResetLock() {
    Editor e;
    e.window.show();
    QCheckBox* out1 = e.window.Bar()->Legend()->CheckBox(kOut1);
    e.Click(out1);
    QVERIFY(!out1->isChecked());
    QVERIFY(!e.window.Graph()->CurveVisible(kOut1));

    e.window.DeviceIdList()->setCurrentIndex(4);
    QCOMPARE(int(e.engine.DeviceId()), 0);  // only the user's pick counts
    emit e.window.DeviceIdList()->activated(4);
    QCOMPARE(int(e.engine.DeviceId()), 4);

    e.window.SetResetLock(true);
    QVERIFY(!e.window.Bar()->isEnabled() && !e.window.Diagram()->isEnabled() &&
            !e.window.Graph()->parentWidget()->isEnabled());
    e.window.SetResetLock(false);
    QVERIFY(e.window.Bar()->isEnabled() && e.window.Diagram()->isEnabled() &&
            e.window.Graph()->parentWidget()->isEnabled());
  }

  // Tab reaches every control of both windows once, row by row, left to right, and the
  // control it reaches carries a clear ring; a click shows no ring.
  void TabVisitsEveryControlInReadingOrder() {
    Editor e;
    e.window.show();
    QVERIFY(QTest::qWaitForWindowActive(&e.window));
    const QList<QWidget*> walk = test::TabWalk(e.window.PortList());
    QCOMPARE(QSet<QWidget*>(walk.begin(), walk.end()), test::Reachable(&e.window));
    QCOMPARE(walk.size(), test::Reachable(&e.window).size());
    QCOMPARE(test::FirstOutOfReadingOrder(&e.window, walk), QString());
    for (int channel : {kInA, kOut1, kOut2, kOut3}) {
      for (StripButton button : {StripButton::kMute, StripButton::kPolarity, StripButton::kGain,
                                 StripButton::kDelay, StripButton::kEq, StripButton::kXOver}) {
        QVERIFY(walk.contains(e.StripButton(channel, button)));
      }
    }
    QVERIFY(walk.contains(e.StripButton(kOut3, StripButton::kLimiter)));

    const FocusRing* ring = e.window.findChild<FocusRing*>();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QWidget* focused = QApplication::focusWidget();
    QCOMPARE(ring->Target(), focused);
    QVERIFY(ring->geometry().contains(QRect(focused->mapTo(&e.window, QPoint()), focused->size())));
    QTest::mouseClick(e.StripButton(kOut1, StripButton::kMute), Qt::LeftButton);
    e.Find<QLineEdit>("edt1")->setFocus(Qt::MouseFocusReason);
    QCOMPARE(ring->Target(), nullptr);

    e.detail.OpenChannelPage(kOut1);
    QVERIFY(QTest::qWaitForWindowActive(&e.detail));
    const QList<QWidget*> detail_walk = test::TabWalk(e.detail.Pages()->tabBar());
    QCOMPARE(QSet<QWidget*>(detail_walk.begin(), detail_walk.end()), test::Reachable(&e.detail));
    QCOMPARE(test::FirstOutOfReadingOrder(&e.detail, detail_walk), QString());
  }

  // Scrolling past a list changes nothing and sends nothing, in either window; only a list
  // that has the focus (a click or Tab) follows the wheel.
  void ListsFollowTheWheelOnlyWithTheFocus() {
    Editor e;
    e.window.show();
    e.Connect();
    e.ReceiveImage(ParameterModel{});
    e.ReceiveNames();
    e.clock.Advance(1000);  // the settings request is out: nothing pending
    e.Click(e.StripButton(kOut1, StripButton::kXOver));
    QVERIFY(QTest::qWaitForWindowActive(&e.detail));
    e.detail.Pages()->setFocus(Qt::OtherFocusReason);

    const QList<QComboBox*> lists =
        e.window.findChildren<QComboBox*>() + e.detail.findChildren<QComboBox*>();
    int activated = 0;
    for (QComboBox* list : lists) {
      connect(list, &QComboBox::activated, this, [&activated] { ++activated; });
    }
    int turned = 0;
    for (QComboBox* list : lists) {
      if (!list->isEnabled() || list->count() < 2) continue;
      ++turned;
      const int before = list->currentIndex();
      Wheel(list, before + 1 < list->count() ? -120 : 120);  // towards an item that exists
      QVERIFY2(list->currentIndex() == before, qPrintable(list->objectName()));
      QVERIFY2(!list->hasFocus(), qPrintable(list->objectName()));
      // A real wheel would first give the focus to a list with WheelFocus; an event sent
      // by a test does not, so the policy is checked on its own.
      QVERIFY2((list->focusPolicy() & Qt::WheelFocus) != Qt::WheelFocus,
               qPrintable(list->objectName()));
    }
    // Both windows: EQ types, crossover types, limiters, routes, preset and number lists.
    QVERIFY(turned >= 80);
    QCOMPARE(activated, 0);
    QVERIFY(!e.AnySlotPending());

    auto* high_pass_type =
        e.detail.findChild<QComboBox*>(ComboName(kCrossoverNumbers[kOut1].high_pass_type));
    high_pass_type->setFocus(Qt::TabFocusReason);
    QVERIFY(high_pass_type->hasFocus());
    Wheel(high_pass_type, -120);
    QCOMPARE(high_pass_type->currentIndex(), 1);
    QCOMPARE(int{e.model.channels[kOut1].hp_type}, 1);
    QCOMPARE(activated, 1);
    QVERIFY(e.engine.SlotPending(SlotOfBlock(kOut1, kCrossoverBlock)));
  }

  // The road of one change: point 3 of Out 1 dragged on the graph while the detail window
  // shows "H_OUT"; the band's fields follow and its frame leaves through the port.
  void DraggedPointReachesTheDetailWindowAndThePort() {
    Editor e;
    e.window.show();
    e.Connect();
    e.ReceiveImage(ParameterModel{});
    e.ReceiveNames();
    e.Click(e.StripButton(kOut1, StripButton::kEq));

    ResponseGraph* graph = e.window.Graph();
    const int band_id = BandId(kOut1, 2);
    const BandPoint p = graph->Points()[band_id];
    QTest::mousePress(graph, Qt::LeftButton, {}, QPoint(p.x, p.y));
    QMouseEvent move(QEvent::MouseMove, QPointF(555, 63),
                     QPointF(graph->mapToGlobal(QPoint(555, 63))), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(graph, &move);
    QTest::mouseRelease(graph, Qt::LeftButton, {}, QPoint(555, 63));

    const BandParams& band = e.model.bands[band_id];
    QCOMPARE(kFreqTable[band.freq], 1000.0);
    const auto* freq_edit =
        e.detail.findChild<QLineEdit*>(EditName(kEqRowNumbers[kOut1].frequency[2]));
    const auto* gain_edit = e.detail.findChild<QLineEdit*>(EditName(kEqRowNumbers[kOut1].gain[2]));
    QCOMPARE(freq_edit->text(), QStringLiteral("1000"));
    QCOMPARE(gain_edit->text(),
             QString::fromStdString(FormatShortest(kEqGainTable[band.peak_gain])));
    QVERIFY(e.engine.SlotPending(35));

    const std::size_t before = e.port.sent.size();
    e.clock.Advance(250);
    const auto expected = BuildBlockFrame(e.model, 0, kOut1, EqBandBlockNumber(band_id));
    bool sent = false;
    for (std::size_t i = before; i < e.port.sent.size(); ++i) {
      sent = sent || std::equal(expected.begin(), expected.end(), e.port.sent[i].bytes.begin(),
                                e.port.sent[i].bytes.end());
    }
    QVERIFY2(sent, "band frame not written to the port");
    QCOMPARE(test::Spaced(std::span(expected.data(), 10)),
             std::string("A5 A5 A5 00 A1 00 02 05 00 08"));
  }
};

}  // namespace veltrane

QTEST_MAIN(veltrane::MainWindowTest)
#include "main_window_test.moc"
