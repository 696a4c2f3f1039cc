// A user who may not open a serial port reads under "No port or in use." which group to
// join and that a new login is needed; a port that another program holds gives the message
// alone. Root opens any device node whatever its mode and ignores an exclusive hold, so as
// root each case runs in a forked child that has become the user nobody.

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/editor_app.h"
#include "link/fake_hid_backend.h"
#include "link/serial_access.h"
#include "ui/top_bar.h"

namespace veltrane::test {
namespace {

constexpr int kWaitMs = 8000;

// A pseudo-terminal: its far end stands for a serial port's device node.
class Pty {
 public:
  Pty() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) {
      if (const char* name = ptsname(master_)) path_ = name;
    }
  }
  ~Pty() {
    if (master_ >= 0) close(master_);
  }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;
  const std::string& path() const { return path_; }
  const char* c_str() const { return path_.c_str(); }

 private:
  int master_ = -1;
  std::string path_;
};

// Another process that holds `path` open with TIOCEXCL, as QSerialPort holds a port,
// until it is destroyed.
class ExclusiveHolder {
 public:
  explicit ExclusiveHolder(const std::string& path) {
    int ready[2];
    if (pipe(ready) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      // Only async-signal-safe calls in the child of a process that may have threads.
      close(ready[0]);
      const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
      const char held = fd >= 0 && ioctl(fd, TIOCEXCL) == 0 ? 'h' : 'x';
      if (write(ready[1], &held, 1) != 1) _exit(1);
      for (;;) pause();
    }
    close(ready[1]);
    char held = 0;
    held_ = pid_ > 0 && read(ready[0], &held, 1) == 1 && held == 'h';
    close(ready[0]);
  }
  ~ExclusiveHolder() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  ExclusiveHolder(const ExclusiveHolder&) = delete;
  ExclusiveHolder& operator=(const ExclusiveHolder&) = delete;
  bool held() const { return held_; }

 private:
  pid_t pid_ = -1;
  bool held_ = false;
};

// Runs `check` in a forked child that has become nobody, without supplementary groups;
// the child's QtTest messages go to the same output and its verdict comes back as its
// exit status.
bool PassesAsNobody(const std::function<void()>& check) {
  const passwd* nobody = getpwnam("nobody");
  if (nobody == nullptr) return false;
  const uid_t uid = nobody->pw_uid;
  const gid_t gid = nobody->pw_gid;
  std::fflush(stdout);
  const pid_t pid = fork();
  if (pid == 0) {
    if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0) _exit(3);
    check();
    std::fflush(stdout);
    _exit(QTest::currentTestFailed() ? 1 : 0);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string GroupOf(const std::string& path) {
  struct stat node {};
  if (stat(path.c_str(), &node) != 0) return {};
  const group* g = getgrgid(node.st_gid);
  return g != nullptr ? g->gr_name : std::string();
}

// The whole editor with `port` as its only port: a click on the connect button, and the
// message box that follows.
void ConnectAndExpectBox(const std::string& port, const std::function<void(QMessageBox&)>& expect) {
  EditorOptions options;
  options.hid_backend = std::make_unique<FakeHidBackend>();
  options.enumerate_ports = [port] { return std::vector<std::string>{port}; };
  EditorApp app(std::move(options));
  QVERIFY(app.Start());
  app.Show();
  QCOMPARE(app.Main().PortList()->currentText(), QString::fromStdString(port));
  app.Main().Bar()->ConnectButton()->click();
  QMessageBox* box = nullptr;
  QTRY_VERIFY_WITH_TIMEOUT((box = app.Main().findChild<QMessageBox*>()) != nullptr, kWaitMs);
  QVERIFY(box->isVisible());
  QCOMPARE(box->text(), QStringLiteral("No port or in use."));
  QVERIFY(!app.Engine().Connected());
  expect(*box);
}

void ExpectGroupAdvice(const std::string& port, const std::string& no_group_port) {
  const QString group = QString::fromStdString(GroupOf(port));
  QVERIFY(!group.isEmpty());
  ConnectAndExpectBox(port, [&](QMessageBox& box) {
    const QString note = box.informativeText();
    QVERIFY2(note.contains("join the group \"" + group + "\"") &&
                 note.contains("sudo usermod -aG " + group + " ") && note.contains("log in again"),
             qPrintable(note));
    // The second line is the smaller one.
    const auto* text_label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    const auto* note_label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"));
    QVERIFY(text_label != nullptr && note_label != nullptr);
    QVERIFY(note_label->font().pointSizeF() < text_label->font().pointSizeF());
  });
  // A node that no group may open: nobody to join.
  QVERIFY(SerialAccessNote(no_group_port).find("no group may") != std::string::npos);
}

void ExpectMessageAlone(const std::string& port) {
  ConnectAndExpectBox(port, [](QMessageBox& box) { QVERIFY(box.informativeText().isEmpty()); });
}

}  // namespace

class PortAccessTest : public QObject {
  Q_OBJECT

 private slots:
  // As a port comes on Debian: owned by root and the group dialout, mode 0660, and the
  // user not in the group.
  void deniedPortNamesTheGroupToJoin() {
    Pty port;
    Pty closed;
    QVERIFY(!port.path().empty() && !closed.path().empty());
    if (geteuid() == 0) {
      const group* dialout = getgrnam("dialout");
      QVERIFY(dialout != nullptr);
      QCOMPARE(chown(port.c_str(), 0, dialout->gr_gid), 0);
      QCOMPARE(chmod(port.c_str(), 0660), 0);
      QCOMPARE(chmod(closed.c_str(), 0600), 0);
      QVERIFY(PassesAsNobody([&] { ExpectGroupAdvice(port.path(), closed.path()); }));
      return;
    }
    // Not root: the nodes stay ours, so the owner's bits refuse and the group's allow.
    QCOMPARE(chmod(port.c_str(), 0060), 0);
    QCOMPARE(chmod(closed.c_str(), 0000), 0);
    ExpectGroupAdvice(port.path(), closed.path());
  }

  void portInUseGivesTheMessageAlone() {
    Pty port;
    QVERIFY(!port.path().empty());
    QCOMPARE(chmod(port.c_str(), 0666), 0);  // anyone may open it, but for the hold
    const ExclusiveHolder holder(port.path());
    QVERIFY(holder.held());
    if (geteuid() == 0) {
      QVERIFY(PassesAsNobody([&] { ExpectMessageAlone(port.path()); }));
      return;
    }
    ExpectMessageAlone(port.path());
  }
};

}  // namespace veltrane::test

QTEST_MAIN(veltrane::test::PortAccessTest)
#include "port_access_test.moc"
