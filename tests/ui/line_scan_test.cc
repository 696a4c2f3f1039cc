// "Scan line…" in the main window against an in-process line of simulated processors on
// the virtual clock: the numbers that answered are marked in the device-number list.

#include <QAction>
#include <QComboBox>
#include <QFont>
#include <QPushButton>
#include <QtTest>
#include <memory>

#include "memory_file_store.h"
#include "protocol/engine.h"
#include "protocol/virtual_clock.h"
#include "sim/sim_line.h"
#include "sim/sim_link.h"
#include "ui/detail_window.h"
#include "ui/editor_features.h"
#include "ui/line_scan_action.h"
#include "ui/main_window.h"
#include "ui/progress_box.h"
#include "ui/window_operation_view.h"

namespace veltrane {

class LineScanTest : public QObject {
  Q_OBJECT

 private slots:
  void answeredNumbersAreMarkedInTheDeviceList() {
    ParameterModel model;
    EditorState state;
    VirtualClock clock;
    MainWindow window(model, clock, state);
    DetailWindow detail(model, clock, state);
    SimLine line(clock, {1, 3, 4, 9, 9}, {.pacing_9600 = true, .demo_content = true});
    SimSerialPort port(clock, line);
    ProtocolEngine engine(clock, model, window);
    test::MemoryFileStore files;
    QStringList messages;
    window.SetMessageHandler([&](const QString& text) { messages << text; });
    window.AttachDetailWindow(&detail);
    window.AttachEngine(&engine);
    auto features = std::make_unique<EditorFeatures>(clock, engine, model, window, files);
    LineScanAction scan(window, clock, engine, port, features->Operations());
    port.SetReceiver([&](std::span<const std::uint8_t> bytes) {
      if (scan.Scanning()) {
        scan.OnBytes(bytes);
      } else {
        engine.OnBytes(bytes);
      }
    });
    engine.SetSerialPort(&port);
    window.PortList()->addItem(QStringLiteral("/dev/ttyLINE"));
    engine.SelectPort("/dev/ttyLINE", 1);
    engine.Start();

    QAction* action = scan.Action();
    QCOMPARE(action->text(), QString::fromUtf8("Scan line\u2026"));
    QVERIFY(window.actions().contains(action));
    QVERIFY(action->isEnabled());
    action->trigger();
    QVERIFY(scan.Scanning());
    QVERIFY(!action->isEnabled());
    QVERIFY(!window.TransferBox()->isHidden());
    QVERIFY(!scan.CancelButton()->isHidden());
    QVERIFY(scan.CancelButton()->isEnabled());
    QVERIFY(!window.PortList()->isEnabled());  // the top bar is off while the line is busy
    clock.Advance(256 * ScanWaitMs(kDefaultScanReplyMs) + 100);
    QVERIFY(!scan.Scanning());
    QVERIFY(window.TransferBox()->isHidden());
    QVERIFY(action->isEnabled());
    QVERIFY(scan.CancelButton()->isHidden());
    QCOMPARE(messages,
             QStringList{"Processors answered on /dev/ttyLINE at device numbers: 1, 3, 4.\n"
                         "Garbled answers, possibly two processors with the same number: 9."});
    messages.clear();

    const QComboBox* list = window.DeviceIdList();
    for (int number = 1; number <= 256; ++number) {
      const bool answered = number == 1 || number == 3 || number == 4 || number == 9;
      const QVariant font = list->itemData(number - 1, Qt::FontRole);
      QCOMPARE(font.isValid() && font.value<QFont>().bold(), answered);
      QCOMPARE(list->itemText(number - 1), QString::number(number));  // texts unchanged
    }
    QCOMPARE(list->itemData(2, Qt::ToolTipRole).toString(),
             QStringLiteral("Device 3 answered on /dev/ttyLINE"));
    QVERIFY(list->itemData(8, Qt::ToolTipRole).toString().contains("possibly two processors"));
    QCOMPARE(list->toolTip(),
             QStringLiteral("Scan of /dev/ttyLINE: 1, 3, 4, 9? answered (bold in the list)"));
    QCOMPARE(engine.DeviceId(), 0);  // picking stays the user's

    // Cancel stops at once: nothing more is asked, the line is free, what answered so far
    // is shown and said.
    action->trigger();
    while (scan.AskedNumber() < 6) clock.Advance(1);  // a silent number
    const std::size_t asked = port.sent().size();
    QTest::mouseClick(scan.CancelButton(), Qt::LeftButton);
    QVERIFY(!scan.Scanning());
    QVERIFY(!port.IsOpen());
    QVERIFY(window.TransferBox()->isHidden());
    QVERIFY(scan.CancelButton()->isHidden());
    QCOMPARE(messages,
             QStringList{"Scan of /dev/ttyLINE cancelled at device number 6.\n"
                         "Processors answered on /dev/ttyLINE at device numbers: 1, 3, 4."});
    clock.Advance(10 * ScanWaitMs(kDefaultScanReplyMs));
    QCOMPARE(port.sent().size(), asked);
    QVERIFY(list->itemData(3, Qt::FontRole).isValid());
    QVERIFY(!list->itemData(8, Qt::FontRole).isValid());
    messages.clear();

    // The line works as before: a connection to device 3 once the user picks it.
    engine.SetDeviceId(2);
    engine.ConnectButtonClicked();
    clock.Advance(3000);
    QVERIFY(engine.Connected());
    clock.Advance(200);
    QVERIFY(!action->isEnabled());  // not while connected
    QVERIFY(!scan.Scan());
  }
};

}  // namespace veltrane

QTEST_MAIN(veltrane::LineScanTest)
#include "line_scan_test.moc"
