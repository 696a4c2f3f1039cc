// veltrane-ctl against veltrane-sim on pseudo-terminals, both as separate programs in
// real time: every command, the usage and file errors, a silent and a locked processor,
// and a backup restored into two other processors, one of which keeps a slot wrong.

#include <signal.h>

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace veltrane::test {
namespace {

struct Run {
  int code = -1;
  QString out;
  QString err;
  qint64 ms = 0;
  QJsonObject Json() const { return QJsonDocument::fromJson(out.toUtf8()).object(); }
};

class Sim {
 public:
  explicit Sim(const QStringList& args) {
    process_.start(QStringLiteral(VELTRANE_SIM_PATH), args);
    if (process_.waitForStarted() && process_.waitForReadyRead(5000)) {
      path_ = QString::fromUtf8(process_.readLine()).trimmed();
    }
  }
  ~Sim() {
    process_.terminate();
    process_.waitForFinished(3000);
  }
  const QString& Path() const { return path_; }

 private:
  QProcess process_;
  QString path_;
};

Run Ctl(const QStringList& args, int limit_ms = 90000) {
  QProcess ctl;
  QElapsedTimer clock;
  clock.start();
  ctl.start(QStringLiteral(VELTRANE_CTL_PATH), args);
  ctl.waitForFinished(limit_ms);
  return {ctl.exitCode(), QString::fromUtf8(ctl.readAllStandardOutput()),
          QString::fromUtf8(ctl.readAllStandardError()), clock.elapsed()};
}

QByteArray Read(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class CliE2eTest : public QObject {
  Q_OBJECT

 private slots:
  void everyCommandAgainstOneProcessor() {
    Sim sim({"--demo-content"});
    QVERIFY(!sim.Path().isEmpty());
    QTemporaryDir dir;
    const QStringList port = {"--port", sim.Path()};

    Run r = Ctl({"--json", "ports"});
    QCOMPARE(r.code, 0);
    QVERIFY(r.Json().contains("serial_ports") && r.Json().contains("hid_devices"));

    r = Ctl(port + QStringList{"--json", "info"});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.Json()["presets"].toArray()[0].toObject()["name"].toString(), "Live Rock");
    QCOMPARE(r.Json()["locked"].toBool(), false);
    QCOMPARE(r.Json()["device_number"].toInt(), 1);

    r = Ctl(port + QStringList{"set", "out1", "gain", "-3.5", "out1", "eq3", "freq", "120"});
    QCOMPARE(r.code, 0);
    QVERIFY2(r.out.contains("read back identical"), qPrintable(r.out));
    r = Ctl(port + QStringList{"set", "out1", "gain", "20"});
    QCOMPARE(r.code, 0);
    QVERIFY(r.err.contains("warning: out1 gain 20 is out of range; set to 12.0 dB"));
    r = Ctl(port + QStringList{"--json", "show"});
    QCOMPARE(r.code, 0);
    const QJsonObject out1 = r.Json()["channels"].toArray()[2].toObject();
    QCOMPARE(out1["gain_db"].toDouble(), 12.0);
    QCOMPARE(out1["eq"].toArray()[2].toObject()["freq_hz"].toDouble(), 121.0);

    const QString file = dir.filePath("live");
    QCOMPARE(Ctl(port + QStringList{"dump", file}).code, 0);
    QCOMPARE(Read(file).size(), 1130);
    QVERIFY(Read(file).endsWith("\r\n"));
    r = Ctl(port + QStringList{"load", file, "--verify"});
    QCOMPARE(r.code, 0);
    QVERIFY(r.out.contains("read back identical"));

    QCOMPARE(Ctl(port + QStringList{"store", "4", QString::fromUtf8("Kick drum \u00e9")}).code, 0);
    QCOMPARE(Ctl(port + QStringList{"recall", "4"}).code, 0);
    r = Ctl(port + QStringList{"--json", "info"});
    QCOMPARE(r.Json()["presets"].toArray()[3].toObject()["name"].toString(),
             QString::fromUtf8("Kick drum \u00e9"));
    QCOMPARE(r.Json()["active_preset"].toInt(), 4);

    QCOMPARE(Ctl(port + QStringList{"set-device", "3"}).code, 0);
    r = Ctl(port + QStringList{"--device", "3", "--json", "info"});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.Json()["device_number"].toInt(), 3);
    QCOMPARE(Ctl(port + QStringList{"--device", "3", "set-device", "1"}).code, 0);

    QCOMPARE(Ctl(port + QStringList{"lock", "Abc123"}).code, 0);
    r = Ctl(port + QStringList{"show"});
    QCOMPARE(r.code, 4);
    QCOMPARE(r.err, "veltrane-ctl: the processor's panel is locked (unlock it first)\n");
    QCOMPARE(Ctl(port + QStringList{"info"}).code, 0);
    r = Ctl(port + QStringList{"unlock", "wrong1"});
    QCOMPARE(r.code, 1);
    QCOMPARE(r.err, "veltrane-ctl: the processor refused the password\n");
    QCOMPARE(Ctl(port + QStringList{"unlock", "Abc123"}).code, 0);
    QCOMPARE(Ctl(port + QStringList{"show"}).code, 0);
  }

  void errorsSayOneLineAndWriteNothing() {
    Sim sim({"--demo-content"});
    QTemporaryDir dir;
    const QStringList port = {"--port", sim.Path()};
    const QString before = dir.filePath("before");
    QCOMPARE(Ctl(port + QStringList{"dump", before}).code, 0);

    QFile damaged(dir.filePath("damaged"));
    QVERIFY(damaged.open(QIODevice::WriteOnly));
    damaged.write(Read(before).left(1000));
    damaged.close();
    struct Case {
      QStringList args;
      int code;
      QString err;
    };
    const QList<Case> cases = {
        {{"frobnicate"}, 2, "unknown command \"frobnicate\" (see --help)"},
        {{"set", "out9", "gain", "1"}, 2, "set: unknown channel \"out9\""},
        {{"set", "out1", "volume", "1"}, 2, "set: unknown parameter \"volume\""},
        {{"load", damaged.fileName()}, 2, damaged.fileName() + ": File damaged."},
        {{"restore", dir.filePath("missing")},
         2,
         "Cannot read \"" + dir.filePath("missing") + "\": No such file or directory"},
        {{"lock", "abc"}, 2, "lock: Please input six characters! (letters and digits)"},
        // The wrong kind of file is named; where nothing can be written, nothing is read.
        {{"restore", before},
         2,
         before + ": this is a preset file, not a backup (write it with load)"},
        {{"backup", dir.path()}, 2, "backup: " + dir.path() + ": is a folder, not a file"},
        {{"dump", dir.filePath("none/x.txt")},
         2,
         "dump: " + dir.filePath("none/x.txt") + ": the folder " + dir.filePath("none") +
             " does not exist"},
    };
    for (const Case& c : cases) {
      const Run r = Ctl(port + c.args);
      QCOMPARE(r.code, c.code);
      QCOMPARE(r.err, "veltrane-ctl: " + c.err + "\n");
    }
    // Nothing reached the processor: its settings are as they were.
    const QString after = dir.filePath("after");
    QCOMPARE(Ctl(port + QStringList{"dump", after}).code, 0);
    QCOMPARE(Read(after), Read(before));

    // A port that cannot be opened says the system's reason.
    Run r = Ctl({"--port", dir.filePath("no-such-port"), "info"});
    QCOMPARE(r.code, 1);
    QCOMPARE(r.err, "veltrane-ctl: cannot open " + dir.filePath("no-such-port") +
                        ": No such file or directory\n");
    r = Ctl({"--port", dir.path(), "info"});
    QCOMPARE(r.code, 1);
    QVERIFY2(r.err.startsWith("veltrane-ctl: cannot open " + dir.path() + ": "), qPrintable(r.err));
    QVERIFY2(!r.err.contains("No port or in use."), qPrintable(r.err));
    Sim silent({"--silent"});
    r = Ctl({"--port", silent.Path(), "info"});
    QCOMPARE(r.code, 1);
    QCOMPARE(r.err, "veltrane-ctl: the processor did not answer (overtime,please try again.)\n");
    QVERIFY2(r.ms < 4000, qPrintable(QString::number(r.ms)));  // the connection's 2 s
  }

  // On a shared line an answer counts for the number it carries: answers that reach the
  // program after a short wait, or that a slow processor sends 200 ms late, are still
  // their senders', and two processors at one number end the scan with status 5.
  void lineScanCreditsEachAnswerToItsOwnNumber() {
    struct Case {
      QStringList sim;
      QStringList scan;
      int code;
      QList<int> ok;
      QList<int> garbled;
    };
    const QList<Case> cases = {
        {{"--devices", "1,2,7"}, {"--reply-ms", "50"}, 0, {1, 2, 7}, {}},
        {{"--devices", "1,2,7", "--late-device", "1:200"}, {}, 0, {1, 2, 7}, {}},
        {{"--devices", "1,2,7", "--late-device", "7:200"}, {}, 0, {1, 2, 7}, {}},
        {{"--devices", "2,2,5"}, {}, 5, {5}, {2}},
    };
    for (const Case& c : cases) {
      Sim sim(c.sim + QStringList{"--pace"});
      QVERIFY(!sim.Path().isEmpty());
      const Run r =
          Ctl(QStringList{"--port", sim.Path(), "--json", "scan", "--range", "1-8"} + c.scan);
      QVERIFY2(r.code == c.code, qPrintable(c.sim.join(' ') + "\n" + r.out + r.err));
      QList<int> ok;
      QList<int> garbled;
      for (const QJsonValue& device : r.Json()["devices"].toArray()) {
        const int number = device["device_number"].toInt();
        if (device["garbled"].toBool()) {
          garbled.append(number);
        } else if (device["ok"].toBool()) {
          ok.append(number);
        }
      }
      QCOMPARE(ok, c.ok);
      QCOMPARE(garbled, c.garbled);
    }
  }

  void portsProbeSaysWhichPortAnswers() {
    Sim sim({"--device", "2"});
    QVERIFY(!sim.Path().isEmpty());
    Run r = Ctl({"--port", sim.Path(), "--device", "2", "ports", "--probe"});
    QCOMPARE(r.code, 0);
    QVERIFY2(r.out.contains("serial " + sim.Path() + "  processor 2 answers\n"), qPrintable(r.out));
    r = Ctl({"--port", sim.Path(), "--json", "ports", "--probe"});
    QCOMPARE(r.code, 0);
    bool listed = false;
    for (const QJsonValue& port : r.Json()["serial_ports"].toArray()) {
      if (port["path"].toString() != sim.Path()) continue;
      listed = true;
      QCOMPARE(port["answers"].toBool(), false);
      QCOMPARE(port["probe"].toString(), "no answer");
    }
    QVERIFY(listed);
    r = Ctl({"--port", "/nonexistent/tty", "ports", "--probe"});
    QCOMPARE(r.code, 0);
    QVERIFY2(r.out.contains("serial /nonexistent/tty  cannot open: No such file or directory"),
             qPrintable(r.out));
  }

  void backupRestoredIntoTwoProcessorsIsVerified() {
    Sim source({"--demo-content"});
    Sim fresh({});
    Sim failing({"--corrupt-slot", "7"});
    QTemporaryDir dir;
    const QString file = dir.filePath("rack.txt");
    QCOMPARE(Ctl({"--port", source.Path(), "backup", file}).code, 0);
    QCOMPARE(Read(file).count("\r\n"), 20);

    // Both restores at once: they are independent processors.
    QProcess good;
    QProcess bad;
    good.start(QStringLiteral(VELTRANE_CTL_PATH), {"--port", fresh.Path(), "restore", file});
    bad.start(QStringLiteral(VELTRANE_CTL_PATH),
              {"--port", failing.Path(), "--json", "restore", file});
    QVERIFY(good.waitForFinished(120000) && bad.waitForFinished(120000));
    QVERIFY2(good.exitCode() == 0, good.readAllStandardError().constData());
    QVERIFY(good.readAllStandardOutput().contains("all 20 slots identical"));
    QCOMPARE(bad.exitCode(), 3);
    const QJsonObject result = QJsonDocument::fromJson(bad.readAllStandardOutput()).object();
    QCOMPARE(result["differing_slots"].toArray(), QJsonArray{7});
    QVERIFY(bad.readAllStandardError().contains("slot(s) 7 differ"));
  }

  // SIGINT, SIGTERM, or the processor going away 8 s into a restore: the run ends within
  // seconds and names the slots written.
  void aRestoreStoppedHalfWaySaysHowFarItGot() {
    Sim source({"--demo-content"});
    QTemporaryDir dir;
    const QString preset = dir.filePath("live");
    QCOMPARE(Ctl({"--port", source.Path(), "dump", preset}).code, 0);
    const QString file = dir.filePath("rack.txt");
    {
      QFile backup(file);
      QVERIFY(backup.open(QIODevice::WriteOnly));
      backup.write(Read(preset).repeated(20));
    }
    for (const int signal : {SIGINT, SIGTERM, 0}) {
      auto target = std::make_unique<Sim>(QStringList{"--pace"});
      QProcess ctl;
      ctl.start(QStringLiteral(VELTRANE_CTL_PATH),
                {"--port", target->Path(), "--json", "restore", file});
      QTest::qWait(8000);  // the connection, then one slot a second
      QCOMPARE(ctl.state(), QProcess::Running);
      QElapsedTimer clock;
      clock.start();
      if (signal != 0) {
        ::kill(static_cast<pid_t>(ctl.processId()), signal);
      } else {
        target.reset();  // the processor goes away
      }
      QVERIFY(ctl.waitForFinished(10000));
      QVERIFY(clock.elapsed() < 10000);
      QCOMPARE(ctl.exitStatus(), QProcess::NormalExit);
      QCOMPARE(ctl.exitCode(), signal != 0 ? 128 + signal : 1);
      const QJsonObject result = QJsonDocument::fromJson(ctl.readAllStandardOutput()).object();
      const int n = result["slots_written"].toInt();
      QVERIFY2(n >= 2 && n < 20, qPrintable(result["error"].toString()));
      const QString rest = QString::number(n + 1);
      QCOMPARE(result["error"].toString(),
               signal != 0 ? QString("stopped after slot %1 of 20; slots %2-20 unchanged").arg(n).arg(rest)
                           : QString("the link to the processor was lost after slot %1 of 20; "
                                     "slots %2-20 were not written (slot %2 may be incomplete)")
                                 .arg(n)
                                 .arg(rest));
    }
  }
};

}  // namespace veltrane::test

QTEST_GUILESS_MAIN(veltrane::test::CliE2eTest)
#include "cli_e2e_test.moc"
