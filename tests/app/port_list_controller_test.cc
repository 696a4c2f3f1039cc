// The port list in the main window's combo box: order, preselection, what the engine is
// told, and the `refurbish` refresh on the virtual clock.

#include "app/port_list_controller.h"

#include <QComboBox>
#include <QtTest>
#include <string>
#include <utility>
#include <vector>

#include "app/widget_hid_view.h"
#include "link/hid_history.h"
#include "protocol/virtual_clock.h"

namespace veltrane::test {
namespace {

QStringList Items(const QComboBox& combo) {
  QStringList items;
  for (int i = 0; i < combo.count(); ++i) items << combo.itemText(i);
  return items;
}

struct Rig {
  VirtualClock clock;
  QComboBox combo;
  std::vector<std::string> ports{"COM1", "COM2", "COM10"};
  bool connected = false;
  std::vector<std::pair<std::string, int>> selected;
  PortListController controller{
      &combo, clock, [this] { return ports; }, [this] { return connected; },
      [this](const std::string& name, int number) { selected.emplace_back(name, number); }};
};

}  // namespace

class PortListControllerTest : public QObject {
  Q_OBJECT

 private slots:
  void listsSortedAndSelectsTheLast() {
    Rig rig;
    QCOMPARE(Items(rig.combo), (QStringList{"COM1", "COM10", "COM2"}));
    QCOMPARE(rig.combo.currentText(), QString("COM2"));
    QCOMPARE(rig.selected.back(), std::make_pair(std::string("COM2"), 2));

    // The user's choice is what the engine opens, and an unchanged refresh keeps it.
    rig.combo.setCurrentIndex(1);
    emit rig.combo.activated(1);
    QCOMPARE(rig.selected.back(), std::make_pair(std::string("COM10"), 10));
    const std::size_t told = rig.selected.size();
    rig.clock.Advance(2 * kRefurbishIntervalMs);
    QCOMPARE(rig.combo.currentText(), QString("COM10"));
    QCOMPARE(rig.selected.size(), told);
  }

  // A port that appears is listed within one refresh while disconnected and selected as
  // the new last entry; while connected the list is left alone until the disconnect.
  void refreshOnlyWhileDisconnected() {
    Rig rig;
    rig.ports.push_back("COM3");
    rig.clock.Advance(kRefurbishIntervalMs - 1);
    QCOMPARE(rig.combo.count(), 3);
    rig.clock.Advance(1);
    QCOMPARE(Items(rig.combo), (QStringList{"COM1", "COM10", "COM2", "COM3"}));
    QCOMPARE(rig.combo.currentText(), QString("COM3"));
    QCOMPARE(rig.selected.back(), std::make_pair(std::string("COM3"), 3));

    rig.connected = true;
    rig.ports.push_back("COM4");
    const std::size_t told = rig.selected.size();
    rig.clock.Advance(3 * kRefurbishIntervalMs);
    QCOMPARE(rig.combo.count(), 4);
    QCOMPARE(rig.selected.size(), told);

    rig.connected = false;
    rig.clock.Advance(kRefurbishIntervalMs);
    QCOMPARE(rig.combo.count(), 5);
    QCOMPARE(rig.combo.currentText(), QString("COM4"));
  }

  // All ports gone: the list empties and the engine keeps its previous choice.
  void emptyListTellsTheEngineNothing() {
    Rig rig;
    const std::size_t told = rig.selected.size();
    rig.ports.clear();
    rig.clock.Advance(kRefurbishIntervalMs);
    QCOMPARE(rig.combo.count(), 0);
    QCOMPARE(rig.selected.size(), told);
  }

  // The hidden history keeps the newest lines, newest selected.
  void historyKeepsTheNewestLines() {
    QListWidget history;
    QListWidget devices;
    QLabel status;
    bool lists_enabled = true;
    WidgetHidView view(&history, &devices, &status, [&](bool on) { lists_enabled = on; });
    const int total = static_cast<int>(kHistoryLimit) + 5;
    for (int i = 0; i < total; ++i) view.AddHistoryLine("line " + std::to_string(i));
    QCOMPARE(history.count(), static_cast<int>(kHistoryLimit));
    QCOMPARE(history.item(0)->text(), QString("line 5"));
    QCOMPARE(history.currentRow(), history.count() - 1);
    QCOMPARE(history.currentItem()->text(), QString("line %1").arg(total - 1));

    view.SetDeviceList({"A", "HALVERNIQ (Serial=0000001)"});
    QCOMPARE(devices.count(), 2);
    view.SetStatusText(kHidArrivedText);
    QCOMPARE(status.text(), QString::fromUtf8("已接上设备."));
    view.SetPortListsEnabled(false);
    QVERIFY(!lists_enabled);
  }
};

}  // namespace veltrane::test

QTEST_MAIN(veltrane::test::PortListControllerTest)
#include "port_list_controller_test.moc"
