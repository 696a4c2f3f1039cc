// The detail window against a recording send-slot sink, a recording graph and a virtual
// clock: what each editor stores, shows, queues and redraws, and in which order.

#include "ui/detail_window.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>
#include <vector>

#include "model/blocks.h"
#include "protocol/virtual_clock.h"
#include "ui/detail_numeric_field.h"
#include "ui/progress_box.h"
#include "ui/widget_colors.h"

namespace veltrane {
namespace {

// Everything the window does to the outside lands in one ordered log. Each entry carries
// the text of the probed box at that moment, which shows whether a box was rewritten
// before or after the frame was queued and the graph redrawn.
struct Log {
  QStringList entries;
  QLineEdit* probe = nullptr;
  void Add(const QString& what) {
    entries << (probe != nullptr ? what + " [" + probe->text() + "]" : what);
  }
};

class RecordingSink : public SlotSink {
 public:
  explicit RecordingSink(Log& log) : log_(log) {}
  bool AcceptsFrames() const override { return true; }
  std::uint8_t DeviceId() const override { return 0; }
  void QueueSlotFrame(int slot, const WriteFrame& frame) override {
    frames.emplace_back(slot, frame);
    log_.Add(QStringLiteral("queue %1").arg(slot));
  }
  std::vector<std::pair<int, WriteFrame>> frames;

 private:
  Log& log_;
};

class FakeGraph : public GraphControl {
 public:
  FakeGraph(Log& log, const EditorState& state) : log_(log), state_(state) {}
  void UpdateBandPoint(int type) override {
    log_.Add(QStringLiteral("point %1 type %2").arg(state_.selected_band).arg(type));
  }
  void CrossoverRedraw(int channel, bool high_pass) override {
    log_.Add(QStringLiteral("xover %1 %2").arg(channel).arg(high_pass ? "hp" : "lp"));
  }
  void RedrawAllCurves() override { log_.Add(QStringLiteral("all curves")); }
  void FullRecompute() override { log_.Add(QStringLiteral("full")); }
  void SetTitle(const QString& title) override { log_.Add("title " + title); }
  void SetDetailShown(bool shown) override { log_.Add(QStringLiteral("shown %1").arg(shown)); }
  void EndDrag() override { log_.Add(QStringLiteral("end drag")); }

 private:
  Log& log_;
  const EditorState& state_;
};

class FakePanels : public MainPanels {
 public:
  void SetResetLock(bool locked) override { locks.push_back(locked); }
  std::vector<bool> locks;
};

struct Rig {
  Rig() {
    window.AttachSink(&sink);
    window.AttachGraph(&graph);
    window.AttachMainPanels(&panels);
    window.SetConfirm([this](const QString& caption, const QString& text) {
      questions << caption + "|" + text;
      return answer;
    });
  }

  template <typename T = QWidget>
  T* Find(const QString& name) {
    T* widget = window.findChild<T*>(name);
    if (widget == nullptr) qFatal("no control %s", qPrintable(name));
    return widget;
  }
  NumericField* Field(const QString& name) { return Find<NumericField>(name); }

  // Opens a channel page and makes the window active so boxes can take the focus.
  bool OpenActive(int channel) {
    window.OpenChannelPage(channel);
    const bool active = QTest::qWaitForWindowActive(&window);
    log.entries.clear();
    return active;
  }
  void Type(NumericField* field, const QString& text) {
    field->setFocus(Qt::MouseFocusReason);
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, text);
  }
  void Leave() { window.Pages()->setFocus(Qt::OtherFocusReason); }

  // Picks an item with one key press, which counts as the user's choice (a refresh does
  // not): the list is first put silently next to the item.
  static void Choose(QComboBox* box, int index) {
    const bool from_above = index > 0;
    {
      const QSignalBlocker blocker(box);
      box->setCurrentIndex(from_above ? index - 1 : index + 1);
    }
    QTest::keyClick(box, from_above ? Qt::Key_Down : Qt::Key_Up);
    QTEST_ASSERT(box->currentIndex() == index);
  }

  ParameterModel model;
  VirtualClock clock;
  EditorState state;
  Log log;
  RecordingSink sink{log};
  FakeGraph graph{log, state};
  FakePanels panels;
  QStringList questions;
  bool answer = true;
  DetailWindow window{model, clock, state};
};

// Contrast ratio of two colours by their relative luminance, 1 (none) to 21.
double Contrast(const QColor& a, const QColor& b) {
  const auto luminance = [](const QColor& c) {
    const auto linear = [](double v) {
      return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
  };
  const double la = luminance(a), lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

int BandSlot(int band_id) {
  return SlotOfBlock(ChannelOfBand(band_id), EqBandBlockNumber(band_id));
}

}  // namespace

class DetailWindowTest : public QObject {
  Q_OBJECT

 private slots:
  // Screens and main windows (985 x 694 with the frame; the graph 22 and 129 pixels in):
  // the window opens beside the graph where it fits, else below or above it, always inside
  // the available area, and where the graph cannot stay free it covers the least of it.
  void PositionBesideOrBelowTheGraph_data() {
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QPoint>("main_window");
    QTest::addColumn<QPoint>("expected");
    // Graph right 1746: the window fits to its right.
    QTest::newRow("centred on 2560 x 1440")
        << QRect(0, 0, 2560, 1440) << QPoint(788, 373) << QPoint(1755, 502);
    QTest::newRow("right edge of 1920 x 1080")
        << QRect(0, 0, 1920, 1080) << QPoint(935, 100) << QPoint(226, 229);
    QTest::newRow("centred on 1280 x 1024")
        << QRect(0, 0, 1280, 1024) << QPoint(148, 165) << QPoint(170, 551);
    QTest::newRow("bottom edge above a task bar")
        << QRect(0, 0, 1920, 1040) << QPoint(467, 346) << QPoint(489, 74);
    QTest::newRow("half off the right of a second screen")
        << QRect(1920, 32, 1920, 1048) << QPoint(3055, 100) << QPoint(2346, 229);
    // Nowhere free: below, pushed up over the graph's last three rows.
    QTest::newRow("top left of 1024 x 768")
        << QRect(0, 0, 1024, 768) << QPoint(0, 0) << QPoint(22, 375);
    QTest::newRow("main window larger than the screen")
        << QRect(0, 0, 800, 600) << QPoint(-92, -47) << QPoint(0, 207);
  }
  void PositionBesideOrBelowTheGraph() {
    QFETCH(QRect, available);
    QFETCH(QPoint, main_window);
    QFETCH(QPoint, expected);
    const QRect graph(main_window + QPoint(22, 129), QSize(937, 249));
    const QSize frame(723, 393);
    const QPoint position = DetailWindowPosition(graph, frame, available);
    QCOMPARE(position, expected);
    QVERIFY(available.contains(QRect(position, frame)));
  }

  void WindowAndPages() {
    Rig rig;
    QCOMPARE(rig.window.windowTitle(), QString::fromUtf8("Gain \u2013 VELTRANE PROCESSOR"));
    QCOMPARE(rig.window.size(), QSize(715, 364));
    QVERIFY(!rig.window.isVisible());
    QTabWidget* pages = rig.window.Pages();
    const QStringList tabs = {"Mixer", "Gain",  " Delay ", "Limiters", "IN",
                              "In B",  "H_OUT", "M_OUT",   "L_OUT",    "Out 4"};
    QCOMPARE(pages->count(), tabs.size());
    for (int i = 0; i < tabs.size(); ++i) {
      QCOMPARE(pages->tabText(i), tabs[i]);
      QCOMPARE(pages->isTabVisible(i), i != 0 && i != 5 && i != 9);
    }
    QCOMPARE(pages->currentIndex(), kGainPage);
  }

  // The title names the page, and Escape closes the window even from a field that
  // takes keys itself.
  void TitleFollowsThePageAndEscapeCloses() {
    Rig rig;
    rig.window.OpenChannelPage(kOut1);
    QVERIFY(QTest::qWaitForWindowActive(&rig.window));
    QCOMPARE(rig.window.windowTitle(), QString::fromUtf8("H_OUT \u2013 VELTRANE PROCESSOR"));
    rig.window.Pages()->setCurrentIndex(kDelayPage);
    QCOMPARE(rig.window.windowTitle(), QString::fromUtf8("Delay \u2013 VELTRANE PROCESSOR"));
    rig.window.OpenChannelPage(kOut1);
    auto* field = rig.window.Pages()->currentWidget()->findChild<NumericField*>();
    QVERIFY(field != nullptr);
    field->setFocus();
    QCOMPARE(QApplication::focusWidget(), field);
    QTest::keyClick(field, Qt::Key_Escape);
    QVERIFY(!rig.window.isVisible());
  }

  void NamesFollowTheComponentTable() {
    Rig rig;
    QSet<QString> edits;
    for (NumericField* field : rig.window.findChildren<NumericField*>()) {
      QVERIFY2(!edits.contains(field->objectName()), qPrintable(field->objectName()));
      edits.insert(field->objectName());
      rig.Find<QToolButton>(field->objectName() + "Down");
      rig.Find<QToolButton>(field->objectName() + "Up");
    }
    QSet<QString> expected;
    for (int n = 1; n <= 156; ++n) expected.insert(QStringLiteral("RzEdit%1").arg(n));
    QCOMPARE(edits, expected);
    for (int n : {1, 2, 3, 4, 5, 6, 14, 15, 16, 17, 18, 19}) {
      rig.Find<QPushButton>(QStringLiteral("RzButton%1").arg(n));
    }

    // The irregular numbers of bands 7 and 8: a step on each named box moves its own band.
    struct Case {
      const char* edit;
      int band_id;
      int which;  // 0 frequency, 1 gain, 2 Q
    };
    const Case cases[] = {{"RzEdit85", 6, 0},   {"RzEdit88", 7, 0},   {"RzEdit93", 14, 1},
                          {"RzEdit100", 23, 1}, {"RzEdit115", 32, 1}, {"RzEdit132", 39, 2},
                          {"RzEdit156", 47, 2}, {"RzEdit72", 29, 2},  {"RzEdit19", 24, 0}};
    for (const Case& c : cases) {
      const BandParams before = rig.model.bands[c.band_id];
      rig.Find<QToolButton>(QString::fromLatin1(c.edit) + "Up")->click();
      const BandParams& after = rig.model.bands[c.band_id];
      const int moved[] = {after.freq - before.freq, after.peak_gain - before.peak_gain,
                           after.q - before.q};
      QVERIFY2(moved[c.which] == 1, c.edit);
      QCOMPARE(rig.sink.frames.back().first, BandSlot(c.band_id));
    }
    // Type lists, including the swapped pairs of bands 7 and 8.
    const std::pair<const char*, int> types[] = {
        {"RzComboBox7", 0},   {"RzComboBox61", 7},  {"RzComboBox63", 14}, {"RzComboBox62", 15},
        {"RzComboBox64", 23}, {"RzComboBox68", 32}, {"RzComboBox82", 47}};
    for (const auto& [name, band_id] : types) {
      Rig::Choose(rig.Find<QComboBox>(QString::fromLatin1(name)), kHighShelf);
      QVERIFY2(rig.model.bands[band_id].type == kHighShelf, name);
    }
  }

  void CommitStoresRewritesQueuesAndRedrawsInOrder_data() {
    QTest::addColumn<int>("channel");
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QStringList>("expected_log");
    const int band16 = BandSlot(16);
    const int xover2 = SlotOfBlock(kOut1, kCrossoverBlock);
    const int xover0 = SlotOfBlock(kInA, kCrossoverBlock);
    // Frequency and Q: text first. Gain: frame and point first, text last.
    QTest::newRow("frequency") << int{kOut1} << "RzEdit13"
                               << "1000"
                               << "1000.0"
                               << QStringList{QStringLiteral("queue %1 [1000.0]").arg(band16),
                                              "point 16 type 0 [1000.0]"};
    QTest::newRow("gain below range")
        << int{kOut1} << "RzEdit37"
        << "-30"
        << "-24.0"
        << QStringList{QStringLiteral("queue %1 [-30]").arg(band16), "point 16 type 0 [-30]"};
    QTest::newRow("gain above range")
        << int{kOut1} << "RzEdit37"
        << "13"
        << "12.0"
        << QStringList{QStringLiteral("queue %1 [13]").arg(band16), "point 16 type 0 [13]"};
    QTest::newRow("Q above range")
        << int{kOut1} << "RzEdit61"
        << "40"
        << "36.0"
        << QStringList{QStringLiteral("queue %1 [36.0]").arg(band16), "point 16 type 0 [36.0]"};
    QTest::newRow("high-pass below range")
        << int{kOut1} << "RzEdit76"
        << "10"
        << "19.7"
        << QStringList{"xover 2 hp [19.7]", QStringLiteral("queue %1 [19.7]").arg(xover2)};
    QTest::newRow("low-pass above range")
        << int{kInA} << "RzEdit77"
        << "25000"
        << "20100.0"
        << QStringList{"xover 0 lp [20100.0]", QStringLiteral("queue %1 [20100.0]").arg(xover0)};
  }
  void CommitStoresRewritesQueuesAndRedrawsInOrder() {
    QFETCH(int, channel);
    QFETCH(QString, edit);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(QStringList, expected_log);
    Rig rig;
    QVERIFY(rig.OpenActive(channel));
    NumericField* field = rig.Field(edit);
    rig.log.probe = field;
    rig.Type(field, typed);
    rig.Leave();
    QCOMPARE(field->text(), shown);
    QCOMPARE(rig.log.entries, expected_log);
    // Entering and leaving again without a change sends nothing more.
    field->setFocus(Qt::MouseFocusReason);
    rig.Leave();
    QCOMPARE(rig.log.entries, expected_log);
  }

  void CommitStoresTheIndex() {
    Rig rig;
    QVERIFY(rig.OpenActive(kOut1));
    rig.model.bands[17].type = kLowShelf;
    rig.Type(rig.Field("RzEdit13"), "1000");
    rig.Type(rig.Field("RzEdit38"), "-3.4");  // a shelf band: only the shelf gain changes
    rig.Type(rig.Field("RzEdit78"), "1045");
    rig.Leave();
    QCOMPARE(int{rig.model.bands[16].freq}, 136);
    QCOMPARE(int{rig.model.bands[17].shelf_gain}, 103);  // -3.4 dB
    QCOMPARE(int{rig.model.bands[17].peak_gain}, 120);
    QCOMPARE(int{rig.model.channels[kOut1].lp_freq}, 137);
    QCOMPARE(rig.state.crossover_channel, int{kOut1});
    QCOMPARE(rig.state.selected_band, 17);
  }

  void EnterCommitsOnceAndInvalidTextIsNeverSent() {
    Rig rig;
    QVERIFY(rig.OpenActive(kInA));
    NumericField* field = rig.Field("RzEdit2");  // band 2, 51.1 Hz
    rig.Type(field, "");
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(field->text(), QStringLiteral("51.1"));
    QVERIFY(rig.sink.frames.empty());
    rig.Type(field, "200");
    QTest::keyClick(field, Qt::Key_Return);
    rig.Leave();
    QCOMPARE(field->text(), QStringLiteral("198.0"));
    QCOMPARE(rig.sink.frames.size(), std::size_t{1});
  }

  void StepButtons_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("start");  // index stored before the step
    QTest::addColumn<int>("stored");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("frames");
    // Band 16 of Out 1 (RzEdit13 / 37 / 61) and Out 1's crossover (RzEdit76 / 78).
    QTest::newRow("Q up at 36.0") << "RzEdit61Up" << 179 << 179 << "36.0" << 0;
    QTest::newRow("Q up below the end") << "RzEdit61Up" << 178 << 179 << "36.0" << 1;
    QTest::newRow("Q down at 0.2") << "RzEdit61Down" << 0 << 0 << "0.2" << 0;
    QTest::newRow("frequency down at 19.7") << "RzEdit13Down" << 0 << 0 << "19.7" << 0;
    QTest::newRow("frequency up at 20100") << "RzEdit13Up" << 240 << 240 << "20100.0" << 0;
    QTest::newRow("gain up") << "RzEdit37Up" << 120 << 121 << "0.2" << 1;
    QTest::newRow("gain up at 12.0") << "RzEdit37Up" << 180 << 180 << "12.0" << 0;
    QTest::newRow("high-pass down at 19.7") << "RzEdit76Down" << 0 << 0 << "19.7" << 0;
    QTest::newRow("high-pass up") << "RzEdit76Up" << 0 << 1 << "20.3" << 1;
    QTest::newRow("low-pass up at 20100") << "RzEdit78Up" << 240 << 240 << "20100.0" << 0;
  }
  void StepButtons() {
    QFETCH(QString, button);
    QFETCH(int, start);
    QFETCH(int, stored);
    QFETCH(QString, shown);
    QFETCH(int, frames);
    Rig rig;
    BandParams& band = rig.model.bands[16];
    ChannelParams& out1 = rig.model.channels[kOut1];
    const QString edit = button.chopped(button.endsWith("Up") ? 2 : 4);
    auto stored_value = [&]() -> int {
      if (edit == "RzEdit13") return band.freq;
      if (edit == "RzEdit37") return band.peak_gain;
      if (edit == "RzEdit61") return band.q;
      if (edit == "RzEdit76") return out1.hp_freq;
      return out1.lp_freq;
    };
    band.freq = band.q = out1.hp_freq = out1.lp_freq = static_cast<std::uint8_t>(start);
    band.peak_gain = static_cast<std::uint16_t>(start);
    NumericField* field = rig.Field(edit);
    field->setText("junk");  // rewritten from the model even where nothing changes
    rig.log.probe = field;
    rig.Find<QToolButton>(button)->click();
    QCOMPARE(stored_value(), stored);
    QCOMPARE(field->text(), shown);
    QCOMPARE(static_cast<int>(rig.sink.frames.size()), frames);
    if (frames == 1) {
      // Redraw and queue happen before the box is rewritten.
      QVERIFY(rig.log.entries.size() == 2);
      QVERIFY(rig.log.entries[0].startsWith(edit == "RzEdit76" ? "xover 2 hp [junk]"
                                                               : "point 16 type 0 [junk]"));
      QVERIFY(rig.log.entries[1].startsWith("queue"));
    } else {
      QVERIFY(rig.log.entries.isEmpty());
    }
  }

  void TypeChangeSwitchesQBoxAndGain() {
    Rig rig;
    const int band = 34;                    // row 3 of L_OUT: RzEdit111 / 117 / 123, RzComboBox70
    rig.model.bands[band].shelf_gain = 90;  // -6.0 dB
    rig.model.bands[band].q = 9;            // 2.0
    rig.window.ApplyModelToControls();
    auto* type = rig.Find<QComboBox>("RzComboBox70");
    NumericField* gain = rig.Field("RzEdit117");
    NumericField* q = rig.Field("RzEdit123");
    rig.log.probe = gain;

    Rig::Choose(type, kHighShelf);
    QCOMPARE(int{rig.model.bands[band].type}, int{kHighShelf});
    QCOMPARE(q->text(), QString());
    QVERIFY(!q->isEnabled());
    QVERIFY(!rig.Find<QToolButton>("RzEdit123Down")->isEnabled());
    QVERIFY(!rig.Find<QToolButton>("RzEdit123Up")->isEnabled());
    QCOMPARE(gain->text(), QStringLiteral("-6.0"));
    QCOMPARE(rig.log.entries, (QStringList{"point 34 type 2 [0.0]",
                                           QStringLiteral("queue %1 [0.0]").arg(BandSlot(band))}));

    rig.log.entries.clear();
    Rig::Choose(type, kPeaking);
    QCOMPARE(q->text(), QStringLiteral("2.0"));
    QVERIFY(q->isEnabled());
    QVERIFY(rig.Find<QToolButton>("RzEdit123Up")->isEnabled());
    QCOMPARE(gain->text(), QStringLiteral("0.0"));
    QCOMPARE(int{rig.model.bands[band].shelf_gain}, 90);
    QCOMPARE(rig.log.entries.size(), 2);
  }

  void CrossoverTypeChoiceRedrawsQueuesAndLeavesTheField() {
    Rig rig;
    ChannelParams& out2 = rig.model.channels[kOut2];
    out2.hp_type = 3;
    out2.lp_freq = 136;
    rig.window.ApplyModelToControls();
    NumericField* low_pass = rig.Field("RzEdit80");
    rig.log.probe = low_pass;
    Rig::Choose(rig.Find<QComboBox>("RzComboBox38"), 8);  // Out 2's low-pass type
    QCOMPARE(int{out2.lp_type}, 8);
    QCOMPARE(int{out2.hp_type}, 3);
    QCOMPARE(rig.state.crossover_channel, int{kOut2});
    const int slot = SlotOfBlock(kOut2, kCrossoverBlock);
    QCOMPARE(rig.log.entries,
             (QStringList{"xover 3 lp [1000.0]", QStringLiteral("queue %1 [1000.0]").arg(slot)}));
    const std::array<std::uint8_t, 8> data = {0, 3, 136, 8, 0, 0, 0, 0};
    QVERIFY(std::equal(data.begin(), data.end(), rig.sink.frames.at(0).second.begin() + 10));
  }

  void ResetConfirmed() {
    Rig rig;
    rig.OpenActive(kOut1);
    for (int band = 16; band < 24; ++band) {
      rig.model.bands[band] = BandParams{200, kLowShelf, 10, 20, 100};
    }
    rig.model.bands[15].freq = 7;            // other channels stay
    rig.model.channels[kOut1].hp_freq = 50;  // and so does the crossover
    rig.window.ApplyModelToControls();
    rig.log.entries.clear();

    rig.Find<QPushButton>("RzButton16")->click();
    QCOMPARE(rig.questions, QStringList{"MIRSAL|Do you want to reset all filters?"});
    auto* box = rig.Find<ProgressBox>("ResetProgressBox");
    QVERIFY(box->isVisible());
    QCOMPARE(box->pos(), QPoint(157, 128));
    QCOMPARE(box->Bar()->value(), 0);
    QVERIFY(!rig.window.Pages()->isEnabled());
    QCOMPARE(rig.panels.locks, std::vector<bool>{true});

    QStringList expected;
    for (int band = 16; band < 24; ++band) {
      QCOMPARE(rig.model.bands[band], DefaultBand(band - 16));
      expected << QStringLiteral("queue %1").arg(BandSlot(band))
               << QStringLiteral("point %1 type 0").arg(band);
    }
    QCOMPARE(rig.log.entries, expected);
    QCOMPARE(int{rig.model.bands[15].freq}, 7);
    QCOMPARE(int{rig.model.channels[kOut1].hp_freq}, 50);
    QCOMPARE(rig.Field("RzEdit18")->text(), QStringLiteral("1000"));  // sixth frequency box
    QCOMPARE(rig.Field("RzEdit100")->text(), QStringLiteral("0.0"));  // eighth gain box
    QCOMPARE(rig.Field("RzEdit61")->text(), QStringLiteral("1.0"));
    QVERIFY(rig.Field("RzEdit61")->isEnabledTo(rig.window.Pages()));
    QCOMPARE(rig.Find<QComboBox>("RzComboBox64")->currentIndex(), 0);

    rig.clock.Advance(19 * kResetTickMs);
    QCOMPARE(box->Bar()->value(), 95);
    QVERIFY(box->isVisible());
    QVERIFY(!rig.window.Pages()->isEnabled());
    rig.clock.Advance(kResetTickMs);
    QVERIFY(!box->isVisible());
    QVERIFY(rig.window.Pages()->isEnabled());
    QCOMPARE(rig.panels.locks, (std::vector<bool>{true, false}));
    QVERIFY(!rig.window.Resetting());
  }

  // While a Reset holds the fields disabled for 6 s, their text stays readable on the
  // silver: at least 4.5 : 1, the usual least contrast for text.
  void FieldsKeepReadableTextWhileResetting() {
    Rig rig;
    rig.OpenActive(kOut1);
    rig.Find<QPushButton>("RzButton16")->click();
    QVERIFY(rig.window.Resetting());
    QList<QWidget*> fields;
    for (QLineEdit* edit : rig.window.Pages()->findChildren<QLineEdit*>()) fields << edit;
    for (QComboBox* list : rig.window.Pages()->findChildren<QComboBox*>()) fields << list;
    QVERIFY(fields.size() > 100);
    for (QWidget* field : fields) {
      QVERIFY(!field->isEnabled());
      const QPalette& palette = field->palette();
      const QPalette::ColorRole background =
          qobject_cast<QComboBox*>(field) != nullptr ? QPalette::Button : QPalette::Base;
      QCOMPARE(palette.color(QPalette::Disabled, background), kSilver);
      for (QPalette::ColorRole text :
           {QPalette::Text, QPalette::WindowText, QPalette::ButtonText}) {
        const double contrast = Contrast(palette.color(QPalette::Disabled, text), kSilver);
        QVERIFY2(
            contrast >= 4.5,
            qPrintable(
                QStringLiteral("%1 role %2: %3").arg(field->objectName()).arg(text).arg(contrast)));
      }
    }
  }

  void ResetAnsweredNo() {
    Rig rig;
    rig.answer = false;
    rig.model.bands[0].freq = 99;
    rig.Find<QPushButton>("RzButton14")->click();
    QCOMPARE(rig.questions.size(), 1);
    QCOMPARE(int{rig.model.bands[0].freq}, 99);
    QVERIFY(rig.log.entries.isEmpty());
    QVERIFY(!rig.Find<ProgressBox>("ResetProgressBox")->isVisibleTo(&rig.window));
    QVERIFY(rig.panels.locks.empty());
  }

  void BypassToggles_data() {
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("after");
    QTest::newRow("off to on") << 0 << 1;
    QTest::newRow("on to off") << 1 << 0;
    QTest::newRow("stray value to on") << 2 << 1;
  }
  void BypassToggles() {
    QFETCH(int, start);
    QFETCH(int, after);
    Rig rig;
    rig.model.channels[kOut2].eq_bypass = static_cast<std::uint8_t>(start);
    auto* bypass = rig.Find<QPushButton>("RzButton4");
    bypass->click();
    QCOMPARE(int{rig.model.channels[kOut2].eq_bypass}, after);
    QCOMPARE(ButtonColor(bypass), after == 1 ? kActiveRed : kSilver);
    QCOMPARE(rig.sink.frames.size(), std::size_t{1});
    QCOMPARE(rig.sink.frames[0].first, SlotOfBlock(kOut2, kChannelBlock));
  }

  void BypassTwiceQueuesTwice() {
    Rig rig;
    auto* bypass = rig.Find<QPushButton>("RzButton4");
    bypass->click();
    QCOMPARE(ButtonColor(bypass), kActiveRed);
    bypass->click();
    QCOMPARE(ButtonColor(bypass), kSilver);
    QCOMPARE(rig.sink.frames.size(), std::size_t{2});
  }

  void Sliders_data() {
    QTest::addColumn<QString>("slider");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("label");
    QTest::newRow("gain bottom") << "GainSlider2" << 0 << "-12.0 dB";
    QTest::newRow("gain middle") << "GainSlider2" << 120 << "0.0 dB";
    QTest::newRow("gain top") << "GainSlider2" << 240 << "12.0 dB";
    QTest::newRow("delay top") << "DelaySlider2" << 960 << "20.160 ms";
    QTest::newRow("delay one step") << "DelaySlider2" << 1 << "0.021 ms";
  }
  void Sliders() {
    QFETCH(QString, slider);
    QFETCH(int, position);
    QFETCH(QString, label);
    Rig rig;
    const bool gain = slider.startsWith("Gain");
    rig.model.channels[kOut1].gain = 121;  // so every row is a change
    rig.model.channels[kOut1].delay = 2;
    rig.window.ApplyModelToControls();
    rig.Find<QSlider>(slider)->setValue(position);
    QCOMPARE(rig.Find<QLabel>(gain ? "GainLabel2" : "DelayLabel2")->text(), label);
    const ChannelParams& out1 = rig.model.channels[kOut1];
    QCOMPARE(gain ? int{out1.gain} : int{out1.delay}, position);
    const QString queued = QStringLiteral("queue %1").arg(SlotOfBlock(kOut1, kChannelBlock));
    const QStringList expected = gain ? QStringList{"all curves", queued} : QStringList{queued};
    QCOMPARE(rig.log.entries, expected);
  }

  void WheelMovesClickedSliderOneStepPerEvent() {
    Rig rig;
    rig.window.OpenDelayPage();
    QVERIFY(QTest::qWaitForWindowActive(&rig.window));
    auto* slider = rig.Find<QSlider>("DelaySlider0");
    auto* label = rig.Find<QLabel>("DelayLabel0");
    const auto wheel = [&](QWidget* over, int delta) {
      QWheelEvent event(QPointF(5, 5), over->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, delta),
                        Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
      QApplication::sendEvent(over, &event);
    };
    // Before any click a wheel over a slider does nothing.
    wheel(slider, 120);
    QCOMPARE(slider->value(), 0);

    QTest::mouseClick(slider, Qt::LeftButton, {}, slider->rect().center());
    QVERIFY(slider->hasFocus());
    const int clicked = slider->value();
    wheel(label, 120);
    QCOMPARE(slider->value(), clicked + 1);
    wheel(rig.Find<QWidget>("GainSlider2"), 480);  // any size, anywhere over the window
    QCOMPARE(slider->value(), clicked + 2);
    wheel(label, -120);
    QCOMPARE(slider->value(), clicked + 1);
    QCOMPARE(int{rig.model.channels[kInA].delay}, clicked + 1);
    QCOMPARE(label->text(), QString::fromStdString(FormatDelay(clicked + 1)));

    rig.Find<QSlider>("GainSlider0")->setFocus(Qt::OtherFocusReason);
    const std::size_t frames = rig.sink.frames.size();
    wheel(label, 120);
    wheel(slider, 120);
    QCOMPARE(slider->value(), clicked + 1);
    QCOMPARE(rig.sink.frames.size(), frames);
  }

  void LimiterListQueuesTheWholeBlock() {
    Rig rig;
    OutputParams& out1 = rig.model.Output(kOut1);
    out1.limiter_threshold = 5;
    out1.limiter_attack = 7;
    out1.limiter_release = 2;
    rig.window.ApplyModelToControls();
    Rig::Choose(rig.Find<QComboBox>("LimiterRatio2"), 8);
    QCOMPARE(rig.Find<QComboBox>("LimiterRatio2")->currentText(), QStringLiteral("inf:1"));
    QCOMPARE(int{out1.limiter_ratio}, 8);
    QCOMPARE(rig.sink.frames.size(), std::size_t{1});
    const auto& [slot, frame] = rig.sink.frames[0];
    QCOMPARE(slot, SlotOfBlock(kOut1, kLimiterBlock));
    QCOMPARE(int{frame[6]}, int{kOut1});          // object: the channel
    QCOMPARE(int{frame[7]}, int{kLimiterBlock});  // index: the block
    const std::array<std::uint8_t, 8> data = {5, 7, 2, 8, 0, 0, 0, 0};
    QVERIFY(std::equal(data.begin(), data.end(), frame.begin() + 10));
  }

  void ApplyModelShowsEverythingAndQueuesNothing() {
    Rig rig;
    ParameterModel& m = rig.model;
    m.bands[16] = BandParams{136, kLowShelf, 100, 90, 20};
    m.channels[kInA].delay = 960;
    m.channels[kOut3].gain = 0;
    m.channels[kOut2].eq_bypass = 1;
    m.channels[kOut1].lp_freq = 136;
    m.channels[kOut1].hp_type = 11;
    m.Output(kOut3).route = 3;
    m.Output(kOut1).limiter_ratio = 12;  // outside the list
    m.Output(kOut4).limiter_attack = 106;
    rig.window.ApplyModelToControls();

    QCOMPARE(rig.Field("RzEdit13")->text(), QStringLiteral("1000.0"));
    QCOMPARE(rig.Field("RzEdit37")->text(), QStringLiteral("-6.0"));  // the shelf gain
    QCOMPARE(rig.Field("RzEdit61")->text(), QString());
    QVERIFY(!rig.Field("RzEdit61")->isEnabled());
    QCOMPARE(rig.Find<QComboBox>("RzComboBox19")->currentIndex(), int{kLowShelf});
    QCOMPARE(rig.Field("RzEdit78")->text(), QStringLiteral("1000.0"));
    QCOMPARE(rig.Find<QComboBox>("RzComboBox34")->currentText(), QStringLiteral("48db-Bessel"));
    QCOMPARE(ButtonColor(rig.Find<QWidget>("RzButton4")), kActiveRed);
    QCOMPARE(rig.Find<QSlider>("DelaySlider0")->value(), 960);
    QCOMPARE(rig.Find<QLabel>("DelayLabel0")->text(), QStringLiteral("20.160 ms"));
    QCOMPARE(rig.Find<QLabel>("GainLabel4")->text(), QStringLiteral("-12.0 dB"));
    QCOMPARE(rig.Find<QComboBox>("Route4")->currentText(), QStringLiteral("A+B"));
    QCOMPARE(rig.Find<QComboBox>("LimiterAttack5")->currentText(), QStringLiteral("100"));
    QCOMPARE(rig.Find<QComboBox>("LimiterRatio2")->currentIndex(), -1);
    QCOMPARE(int{m.Output(kOut1).limiter_ratio}, 12);
    QVERIFY(rig.log.entries.isEmpty());

    // The kept value goes out with the next change of another setting of that limiter.
    Rig::Choose(rig.Find<QComboBox>("LimiterThreshold2"), 1);
    QCOMPARE(int{rig.sink.frames.at(0).second[13]}, 12);
  }

  void OpeningAndPageChangesDriveTheGraph() {
    Rig rig;
    rig.model.bands[16].type = kHighShelf;
    rig.window.OpenChannelPage(kOut1);
    QCOMPARE(rig.log.entries, (QStringList{"shown 1", "title H_OUT", "point 16 type 2",
                                           "title H_OUT", "point 16 type 2"}));
    QCOMPARE(rig.state.shown_channel, 3);
    QVERIFY(rig.state.single_channel_mode);

    rig.log.entries.clear();
    rig.window.OpenDelayPage();  // other pages leave the graph alone
    rig.window.OpenLimiterPage();
    QVERIFY(rig.log.entries.isEmpty());
    rig.window.OpenGainPage();
    QCOMPARE(rig.log.entries, (QStringList{"title show all", "all curves"}));
    QCOMPARE(rig.state.shown_channel, 7);
    rig.log.entries.clear();
    rig.window.OpenGainPage();  // already there: nothing runs
    QVERIFY(rig.log.entries.isEmpty());

    rig.window.close();
    QCOMPARE(rig.log.entries, QStringList{"shown 0"});
    QVERIFY(!rig.state.single_channel_mode);
    rig.log.entries.clear();
    rig.window.OpenGainPage();  // shown again on the page it already has
    QCOMPARE(rig.log.entries, QStringList{"shown 1"});
  }

  void ResetSelectedChannel() {
    Rig rig;
    rig.window.Pages()->setCurrentIndex(ChannelPageIndex(kOut3));
    rig.log.entries.clear();
    rig.window.ResetSelectedChannel();  // hidden: the graph is left alone
    QCOMPARE(rig.window.Pages()->currentIndex(), ChannelPageIndex(kInA));
    QVERIFY(rig.log.entries.isEmpty());

    rig.window.OpenChannelPage(kOut2);
    rig.log.entries.clear();
    rig.window.ResetSelectedChannel();  // shown: the graph follows the page
    QCOMPARE(rig.log.entries, (QStringList{"title IN", "point 0 type 0"}));
    QCOMPARE(rig.state.shown_channel, 1);
  }

  void DraggedBandWritesItsBoxes() {
    Rig rig;
    rig.window.ShowDraggedBand(31, "2997", "-3.2");  // Out 2, band 8
    QCOMPARE(rig.Field("RzEdit104")->text(), QStringLiteral("2997"));
    QCOMPARE(rig.Field("RzEdit106")->text(), QStringLiteral("-3.2"));
    QStringList before;
    for (NumericField* field : rig.window.findChildren<NumericField*>()) before << field->text();
    rig.window.ShowDraggedBand(48, "1", "1");  // no such band: ignored
    rig.window.ShowDraggedBand(-1, "1", "1");
    QStringList after;
    for (NumericField* field : rig.window.findChildren<NumericField*>()) after << field->text();
    QCOMPARE(after, before);
  }
};

}  // namespace veltrane

QTEST_MAIN(veltrane::DetailWindowTest)
#include "detail_window_test.moc"
