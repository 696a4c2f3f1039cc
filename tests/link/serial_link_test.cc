// The serial link on a pseudo-terminal in real time: gathering, whole reads, exclusive
// opening, release after the other side hangs up, whole writes; and the Qt timer host.

#include "link/serial_link.h"

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <QPointer>
#include <QtTest>
#include <memory>
#include <string>
#include <vector>

#include "link/qt_timer_host.h"

namespace veltrane::test {
namespace {

// The master side of a pseudo-terminal; the link opens the slave as its serial port.
class Pty {
 public:
  Pty() {
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) == 0) path_ = name;
    // Only the link holds the slave; the master alone keeps the terminal alive.
    if (slave_ >= 0) ::close(slave_);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  }
  ~Pty() { Hangup(); }
  const std::string& path() const { return path_; }
  void Send(const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
      if (n > 0) done += static_cast<std::size_t>(n);
    }
  }
  std::vector<std::uint8_t> Take() {
    std::vector<std::uint8_t> out(8192);
    const ssize_t n = ::read(master_, out.data(), out.size());
    out.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return out;
  }
  std::size_t TakeInto(std::vector<std::uint8_t>& into) {
    const auto more = Take();
    into.insert(into.end(), more.begin(), more.end());
    return into.size();
  }
  void Hangup() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

std::vector<std::uint8_t> Pattern(std::size_t n) {
  std::vector<std::uint8_t> bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return bytes;
}

// Records every call of the link's receiver.
struct Calls {
  std::vector<std::vector<std::uint8_t>> calls;
  std::size_t Total() const {
    std::size_t n = 0;
    for (const auto& c : calls) n += c.size();
    return n;
  }
  SerialLink::Receiver Receiver() {
    return [this](std::span<const std::uint8_t> b) { calls.emplace_back(b.begin(), b.end()); };
  }
};

}  // namespace

class SerialLinkTest : public QObject {
  Q_OBJECT

 private slots:
  // Bytes that arrive within the gathering wait, and more than one read buffer's worth,
  // reach the receiver in one call.
  void gathersEverythingQueuedIntoOneCall_data() {
    QTest::addColumn<QList<int>>("pieces");
    QTest::newRow("pieces") << QList<int>{3, 5, 12};
    QTest::newRow("beyond one read buffer") << QList<int>{3000};
  }
  void gathersEverythingQueuedIntoOneCall() {
    QFETCH(QList<int>, pieces);
    Pty pty;
    SerialLink link;
    Calls got;
    link.SetReceiver(got.Receiver());
    QVERIFY(link.Open(pty.path()));
    std::vector<std::uint8_t> all;
    for (int size : pieces) {
      const auto piece = Pattern(static_cast<std::size_t>(size));
      pty.Send(piece);
      all.insert(all.end(), piece.begin(), piece.end());
      // The next piece arrives while this one's notification waits for its 50 ms.
      if (pieces.size() > 1) QTRY_VERIFY(link.NotificationPending());
    }
    QTRY_COMPARE(got.Total(), all.size());
    QCOMPARE(got.calls.size(), std::size_t{1});
    QCOMPARE(got.calls[0], all);
    QCOMPARE(link.Notifications(), 1);
  }

  void writesLeaveWhole() {
    Pty pty;
    SerialLink link;
    QVERIFY(link.Open(pty.path()));
    const auto frame = Pattern(20);
    link.Write(frame);
    // Write returns once the bytes have left, so the other side has them now.
    QCOMPARE(pty.Take(), frame);
    const auto block = Pattern(554);
    link.Write(block);
    std::vector<std::uint8_t> taken;
    QTRY_VERIFY(pty.TakeInto(taken) >= block.size());
    QCOMPARE(taken, block);
  }

  // A port that is held, or missing, fails to open and leaves no trace; the holder keeps
  // working, and once it closes the port opens again.
  void heldOrMissingPortsFailCleanly() {
    Pty pty;
    SerialLink holder;
    Calls held;
    holder.SetReceiver(held.Receiver());
    QVERIFY(holder.Open(pty.path()));

    SerialLink other;
    Calls stray;
    other.SetReceiver(stray.Receiver());
    QVERIFY(!other.Open(pty.path()));
    QVERIFY(!other.IsOpen());
    QVERIFY(!other.Open("/dev/veltrane-no-such-port"));
    QCOMPARE(other.LastError(), QSerialPort::DeviceNotFoundError);
    other.Close();  // nothing open: nothing happens
    other.Write(Pattern(4));

    pty.Send(Pattern(6));
    QTRY_COMPARE(held.Total(), std::size_t{6});
    QVERIFY(stray.calls.empty());

    holder.Close();
    holder.Close();
    QVERIFY(other.Open(pty.path()));
  }

  // The other side hangs up: the link releases the port by itself; later writes and the
  // later close touch nothing.
  void hangupReleasesThePort() {
    Pty pty;
    SerialLink link;
    Calls got;
    link.SetReceiver(got.Receiver());
    QVERIFY(link.Open(pty.path()));
    pty.Hangup();
    QTRY_VERIFY(!link.IsOpen());
    QVERIFY(link.LastError() != QSerialPort::NoError);
    link.Write(Pattern(20));
    link.Close();
    QVERIFY(got.calls.empty());
  }

  // A notification waiting for its 50 ms when the port closes is dropped, not delivered
  // into the next opening.
  void closeDropsAPendingNotification() {
    Pty pty;
    SerialLink link;
    Calls got;
    link.SetReceiver(got.Receiver());
    QVERIFY(link.Open(pty.path()));
    pty.Send(Pattern(8));
    QTRY_VERIFY(link.NotificationPending());
    link.Close();
    QVERIFY(link.Open(pty.path()));
    pty.Send(Pattern(3));
    QTRY_COMPARE(got.Total(), std::size_t{3});
    QCOMPARE(got.calls.size(), std::size_t{1});
  }

  void timerHost() {
    auto host = std::make_unique<QtTimerHost>();
    int ticks = 0;
    auto timer = host->CreateTimer("refurbish", 1000, [&] { ++ticks; });
    auto* qtimer = host->Context()->findChild<QTimer*>("refurbish");
    QVERIFY(qtimer != nullptr);
    QCOMPARE(qtimer->timerType(), Qt::PreciseTimer);
    QVERIFY(!timer->Running());
    timer->Start();
    QTRY_VERIFY(qtimer->remainingTime() < 950);
    // Starting a running timer keeps its count.
    timer->Start();
    QVERIFY(qtimer->remainingTime() < 950);
    timer->Stop();
    QVERIFY(!timer->Running());

    bool ran = false;
    host->Defer(0, [&] { ran = true; });
    QTRY_VERIFY(ran);
    // Deferred calls and timers do not outlive their host.
    bool late = false;
    host->Defer(0, [&] { late = true; });
    host.reset();
    QVERIFY(!timer->Running());
    timer->Start();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    QVERIFY(!late);
    QCOMPARE(ticks, 0);
  }
};

}  // namespace veltrane::test

QTEST_GUILESS_MAIN(veltrane::test::SerialLinkTest)
#include "serial_link_test.moc"
