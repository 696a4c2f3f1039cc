// The serial port list: order, preselection, numbers and the refresh's change test.

#include "link/port_list.h"

#include <QtTest>
#include <string>
#include <vector>

namespace veltrane::test {

class PortListTest : public QObject {
  Q_OBJECT

 private slots:
  void sortAndNumbers_data() {
    QTest::addColumn<QStringList>("found");
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<QList<int>>("numbers");
    QTest::newRow("COM10 before COM2")
        << QStringList{"COM2", "COM10", "COM1"} << QStringList{"COM1", "COM10", "COM2"}
        << QList<int>{1, 10, 2};
    QTest::newRow("case ignored") << QStringList{"com3", "COM12", "Com2"}
                                  << QStringList{"COM12", "Com2", "com3"} << QList<int>{12, 2, 3};
    QTest::newRow("not a number") << QStringList{"COMX", "COM", "COM3A", "COM7"}
                                  << QStringList{"COM", "COM3A", "COM7", "COMX"}
                                  << QList<int>{0, 0, 7, 0};
    // Device paths are numbered by position from 1: 0 would mean a failed open.
    QTest::newRow("device paths") << QStringList{"/dev/ttyUSB0", "/dev/pts/3", "/dev/ttyS0"}
                                  << QStringList{"/dev/pts/3", "/dev/ttyS0", "/dev/ttyUSB0"}
                                  << QList<int>{1, 2, 3};
    QTest::newRow("empty") << QStringList{} << QStringList{} << QList<int>{};
  }
  void sortAndNumbers() {
    QFETCH(QStringList, found);
    QFETCH(QStringList, listed);
    QFETCH(QList<int>, numbers);
    std::vector<std::string> enumeration;
    for (const QString& name : found) enumeration.push_back(name.toStdString());
    PortList list([&] { return enumeration; });
    QCOMPARE(list.Refresh(), !found.isEmpty());
    QStringList names;
    for (const auto& name : list.Names()) names << QString::fromStdString(name);
    QCOMPARE(names, listed);
    QCOMPARE(QList<int>(list.Numbers().begin(), list.Numbers().end()), numbers);
    // The last entry is preselected.
    QCOMPARE(list.Selected(), static_cast<int>(listed.size()) - 1);
  }

  // The refresh replaces the list only when the ports differ; the user's choice survives
  // a refresh that finds the same ports in another order.
  void refreshKeepsAnUnchangedList() {
    std::vector<std::string> enumeration{"COM1", "COM2", "COM10"};
    PortList list([&] { return enumeration; });
    QVERIFY(list.Refresh());
    QCOMPARE(list.Selected(), 2);
    QVERIFY(list.Select("COM1"));
    QCOMPARE(list.Selected(), 0);
    enumeration = {"COM10", "COM2", "COM1"};
    QVERIFY(!list.Refresh());
    QCOMPARE(list.Selected(), 0);
    enumeration.push_back("COM3");
    QVERIFY(list.Refresh());
    QCOMPARE(list.Names().back(), std::string("COM3"));
    QCOMPARE(list.Selected(), 3);
    QVERIFY(!list.Select("COM9"));
    QCOMPARE(list.Selected(), 3);
  }

  // Extra paths (pseudo-terminals, --port) join the machine's ports once.
  void extraPathsJoinTheMachinesPorts() {
    const auto names = ListSerialPorts({"/dev/pts/77", "/dev/pts/77"});
    QCOMPARE(std::count(names.begin(), names.end(), std::string("/dev/pts/77")), 1);
    QVERIFY(std::is_sorted(names.begin(), names.end(), [](const auto& a, const auto& b) {
      return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) < 0;
    }));
  }

  // Windows gives ports as \\.\COMn: they are listed and numbered as COMn, once.
  void deviceNamespaceIsDropped() {
    const auto names = ListSerialPorts({"\\\\.\\COM77", "COM77", "\\\\.\\COM8"});
    QCOMPARE(std::count(names.begin(), names.end(), std::string("COM77")), 1);
    QCOMPARE(std::count(names.begin(), names.end(), std::string("COM8")), 1);
    const auto numbers = PortNumbers(names);
    const auto at = std::find(names.begin(), names.end(), std::string("COM77")) - names.begin();
    QCOMPARE(numbers[at], 77);
    QCOMPARE(PortListName("/dev/ttyUSB0"), std::string("/dev/ttyUSB0"));
  }
};

}  // namespace veltrane::test

QTEST_GUILESS_MAIN(veltrane::test::PortListTest)
#include "port_list_test.moc"
