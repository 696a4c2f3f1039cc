// The whole editor against veltrane-sim on a real pseudo-terminal, in real time: a preset
// stored under a name with a letter outside ASCII survives a reconnection, and recalling
// it brings its values back into the controls.

#include <QComboBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QtTest>
#include <memory>

#include "app/editor_app.h"
#include "link/fake_hid_backend.h"
#include "model/blocks.h"
#include "model/tables.h"
#include "ui/window_operation_view.h"

namespace veltrane::test {
namespace {

constexpr int kWaitMs = 10000;

}  // namespace

class PresetsE2eTest : public QObject {
  Q_OBJECT

 private slots:
  void storedNameSurvivesAReconnectionAndRecallRestoresTheValues() {
    QProcess sim;
    sim.start(QStringLiteral(VELTRANE_SIM_PATH), {"--demo-content", "--pace"});
    QVERIFY(sim.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(sim.canReadLine(), kWaitMs);
    const std::string path = sim.readLine().trimmed().toStdString();

    EditorOptions options;
    options.hid_backend = std::make_unique<FakeHidBackend>();
    options.enumerate_ports = [path] { return std::vector<std::string>{path}; };
    EditorApp app(std::move(options));
    QStringList messages;
    app.Main().SetMessageHandler([&](const QString& text) { messages << text; });
    app.Features().Operations().SetQuestionHandler(
        [](const QString&, const QString&) { return true; });
    QVERIFY(app.Start());
    auto connect = [&] {
      app.Engine().ConnectButtonClicked();
      QTRY_VERIFY_WITH_TIMEOUT(app.Engine().Connected() && !app.Engine().Connecting(), kWaitMs);
    };
    connect();

    auto* slots_list = app.Main().findChild<QComboBox*>("RzComboBox84");
    auto* name = app.Main().findChild<QLineEdit*>("edt1");
    auto* presets = app.Main().findChild<QComboBox*>("RzComboBox85");
    slots_list->setCurrentIndex(2);
    name->setText(QString::fromUtf8("Kick drum \u00e9"));
    const int stored_freq = app.Model().bands[BandId(kOut1, 0)].freq;
    app.Main().findChild<QPushButton*>("StorePresetButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(messages, QStringList{"Successfully save."}, kWaitMs);

    app.Engine().ConnectButtonClicked();
    QTRY_VERIFY_WITH_TIMEOUT(!app.Serial().IsOpen(), kWaitMs);
    presets->clear();
    connect();
    QTRY_COMPARE_WITH_TIMEOUT(presets->count(), 20, kWaitMs);
    QCOMPARE(presets->itemText(2), QString::fromUtf8("Pre3:Kick drum \u00e9"));

    // Change the band on the processor, then recall: the stored value comes back.
    const int changed_freq = stored_freq + 40;
    app.Model().bands[BandId(kOut1, 0)].freq = static_cast<std::uint8_t>(changed_freq);
    SendEqBandBlock(app.Model(), BandId(kOut1, 0), app.Engine());
    QTest::qWait(1500);  // the change leaves within about 210 ms of the edit
    presets->setCurrentIndex(2);
    app.Main().findChild<QPushButton*>("LoadPresetButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(app.Model().bands[BandId(kOut1, 0)].freq, stored_freq, kWaitMs);
    auto* field = app.Detail().findChild<QLineEdit*>("RzEdit13");
    QVERIFY(field != nullptr);
    QCOMPARE(field->text().toStdString(), FormatOneDecimal(kFreqTable[stored_freq]));
    QCOMPARE(messages, QStringList{"Successfully save."});

    app.Engine().ConnectButtonClicked();
    QTRY_VERIFY_WITH_TIMEOUT(!app.Serial().IsOpen(), kWaitMs);
    sim.terminate();
    QVERIFY(sim.waitForFinished());
  }
};

}  // namespace veltrane::test

QTEST_MAIN(veltrane::test::PresetsE2eTest)
#include "presets_e2e_test.moc"
