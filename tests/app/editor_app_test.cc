// The whole editor in real time: demo mode connects to the simulated processor through
// the normal serial path, and a processor on the HID backend takes over the connection.
// Also what a first run shows: the port list's tooltip, the window icon and the about box.

#include "app/editor_app.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHelpEvent>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <memory>
#include <string>

#include "link/fake_hid_backend.h"
#include "link/hid_history.h"
#include "sim/simulator.h"
#include "ui/editor_features.h"
#include "ui/lock_dialogs.h"

namespace veltrane::test {
namespace {

constexpr int kWaitMs = 8000;

QStringList Items(const QListWidget& list) {
  QStringList items;
  for (int i = 0; i < list.count(); ++i) items << list.item(i)->text();
  return items;
}

}  // namespace

class EditorAppTest : public QObject {
  Q_OBJECT

 private slots:
  void demoModeConnectsOverTheSerialPath() {
    EditorOptions options;
    options.demo = true;
    options.hid_backend = std::make_unique<FakeHidBackend>();
    EditorApp app(std::move(options));
    QStringList messages;
    app.Main().SetMessageHandler([&](const QString& text) { messages << text; });
    QVERIFY2(app.Start(), app.Error().c_str());
    QVERIFY(!app.DemoPort().empty());
    QCOMPARE(app.Main().PortList()->currentText(), QString::fromStdString(app.DemoPort()));
    app.Show();
    QVERIFY(app.Main().isVisible());
    QVERIFY(!app.Detail().isVisible());

    app.Engine().ConnectButtonClicked();
    QTRY_VERIFY_WITH_TIMEOUT(app.Engine().Connected() && !app.Engine().Connecting(), kWaitMs);
    QVERIFY(app.Serial().IsOpen());
    QVERIFY(!app.Engine().HidMode());
    QVERIFY(messages.isEmpty());
    // The demo processor's set-up reached the model.
    QVERIFY(!(app.Model() == ParameterModel{}));

    app.Engine().ConnectButtonClicked();
    QTRY_VERIFY_WITH_TIMEOUT(!app.Serial().IsOpen(), kWaitMs);
    QVERIFY(messages.isEmpty());
  }

  // The processor on the HID backend is found once the loop runs: the lists are disabled,
  // the hidden label and lists show it, and connecting runs over HID.
  void processorOnHidIsUsed() {
    auto backend = std::make_unique<FakeHidBackend>();
    FakeHidBackend& fake = *backend;
    EditorOptions options;
    options.hid_backend = std::move(backend);
    options.enumerate_ports = [] { return std::vector<std::string>{}; };
    EditorApp app(std::move(options));
    QStringList messages;
    app.Main().SetMessageHandler([&](const QString& text) { messages << text; });

    Simulator sim(app.Timers());
    const std::string path = "fake:processor";
    sim.SetHidSink([&](std::span<const std::uint8_t> data) { fake.PushInput(path, data); });
    fake.Plug({path, kProcessorVendorId, kProcessorProductId, "HALVERNIQ", "0000001"},
              [&](const HidReport& report) { sim.OnHidReport(report); });

    QVERIFY(app.Start());
    QTRY_VERIFY(app.Engine().HidMode());
    QVERIFY(!app.Main().PortList()->isEnabled());
    QVERIFY(!app.Main().DeviceIdList()->isEnabled());
    QCOMPARE(app.Main().HidStatusLabel()->text(), QString::fromUtf8("已接上设备."));
    QCOMPARE(Items(*app.Main().DeviceList()), QStringList{"HALVERNIQ (Serial=0000001)"});
    QCOMPARE(Items(*app.Main().HistoryList()),
             QStringList{"Arrival of HALVERNIQ (Serial=0000001)"});

    app.Engine().ConnectButtonClicked();
    QTRY_VERIFY_WITH_TIMEOUT(app.Engine().Connected() && !app.Engine().Connecting(), kWaitMs);
    QCOMPARE(app.Engine().ComPortNumber(), kComPortHid);
    QVERIFY(messages.isEmpty());
    const QStringList history = Items(*app.Main().HistoryList());
    QVERIFY(history.contains("W 00  A5 A5 A5 00 A2 00 28 00 00 00 8A AA " +
                             QString("00 ").repeated(52)));
    QCOMPARE(app.Main().HistoryList()->currentRow(), app.Main().HistoryList()->count() - 1);

    // Unplugged: the lists come back, and the connection ends by its time-out.
    fake.Unplug(path);
    QTRY_VERIFY_WITH_TIMEOUT(!app.Engine().HidMode(), kWaitMs);
    QCOMPARE(app.Main().HidStatusLabel()->text(), QString::fromUtf8("已移除设备."));
    QTRY_VERIFY_WITH_TIMEOUT(!messages.isEmpty(), kWaitMs);
    QCOMPARE(messages, QStringList{"interrupt."});
    QVERIFY(app.Main().PortList()->isEnabled());
  }

  // "Quit" of the unlock dialog is the only way out of a locked processor whose link is
  // gone: with the dialog open over a connected editor, the application's loop must end.
  void unlockQuitEndsTheEventLoop() {
    EditorOptions options;
    options.demo = true;
    options.hid_backend = std::make_unique<FakeHidBackend>();
    EditorApp app(std::move(options));
    app.Main().SetMessageHandler([](const QString&) {});
    QVERIFY2(app.Start(), app.Error().c_str());
    app.Show();
    app.Engine().ConnectButtonClicked();
    QTRY_VERIFY_WITH_TIMEOUT(app.Engine().Connected() && !app.Engine().Connecting(), kWaitMs);

    LockScreen& lock = app.Features().Lock();
    lock.ShowPasswordDialog(PasswordDialog::kUnlock);
    QVERIFY(lock.UnlockDialog().isVisible());
    QTimer::singleShot(0, lock.UnlockDialog().SecondButton(), &QPushButton::click);
    // A guard against a loop that never ends, not a wait: the loop ends long before.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    guard.start(kWaitMs);
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(guard.isActive());
  }

  // Nothing found: the port list's tooltip says so and where to go. It says nothing while a
  // processor is on USB or once a port is listed.
  void firstRunTooltipPointsToDemoAndPermissions() {
    auto backend = std::make_unique<FakeHidBackend>();
    FakeHidBackend& fake = *backend;
    std::vector<std::string> ports;
    EditorOptions options;
    options.hid_backend = std::move(backend);
    options.enumerate_ports = [&ports] { return ports; };
    EditorApp app(std::move(options));
    QVERIFY(app.Start());
    app.Show();
    QComboBox* list = app.Main().PortList();
    const auto tip = [list] {
      QHelpEvent event(QEvent::ToolTip, QPoint(5, 5), list->mapToGlobal(QPoint(5, 5)));
      QApplication::sendEvent(list, &event);
      return list->toolTip();
    };
    QVERIFY2(tip().contains("No serial port and no processor on USB") &&
                 tip().contains("veltrane --demo") && tip().contains("dialout"),
             qPrintable(tip()));

    const std::string path = "fake:processor";
    fake.Plug({path, kProcessorVendorId, kProcessorProductId, "HALVERNIQ", "0000001"},
              [](const HidReport&) {});
    QTRY_VERIFY(app.Engine().HidMode());
    QCOMPARE(tip(), QString());
    fake.Unplug(path);
    QTRY_VERIFY(!app.Engine().HidMode());
    QVERIFY(tip().contains("veltrane --demo"));

    ports = {"/dev/ttyUSB0"};  // listed at the next `refurbish` tick
    QTRY_COMPARE_WITH_TIMEOUT(list->count(), 1, kWaitMs);
    QCOMPARE(tip(), QString());
  }

  // The icon comes from the resources, so it shows uninstalled too; the main window's
  // context menu opens the about box with the version.
  void iconAndAboutBox() {
    EditorOptions options;
    options.hid_backend = std::make_unique<FakeHidBackend>();
    options.enumerate_ports = [] { return std::vector<std::string>{}; };
    EditorApp app(std::move(options));
    QVERIFY(app.Start());
    app.Show();
    const QIcon icon = app.Main().windowIcon();
    QCOMPARE(icon.availableSizes(), (QList<QSize>{{48, 48}, {128, 128}, {256, 256}}));
    QVERIFY(!icon.pixmap(48, 48).toImage().allGray());  // drawn, in colour

    QCOMPARE(app.Main().contextMenuPolicy(), Qt::ActionsContextMenu);
    QAction* about = nullptr;
    for (QAction* action : app.Main().actions()) {
      if (action->text() == QStringLiteral("About VELTRANE PROCESSOR…")) about = action;
    }
    QVERIFY(about != nullptr);
    about->trigger();
    auto* box = app.Main().findChild<QMessageBox*>(QStringLiteral("AboutBox"));
    QVERIFY(box != nullptr && box->isVisible());
    QVERIFY2(box->text().contains(QStringLiteral("Editor version " VELTRANE_VERSION)),
             qPrintable(box->text()));
    QVERIFY(!box->iconPixmap().isNull());
  }
};

}  // namespace veltrane::test

QTEST_MAIN(veltrane::test::EditorAppTest)
#include "editor_app_test.moc"
