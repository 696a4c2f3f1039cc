// A whole line of simulated processors driven by veltrane-ctl's line commands on the
// virtual clock: scan, backup-all into files, restore-all into another line, a processor
// that falls silent half-way, and two processors that share a number.

#include "cli/line_session.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "cli/port_probe.h"
#include "link/fake_hid_backend.h"
#include "protocol/virtual_clock.h"
#include "sim/sim_line.h"
#include "sim/sim_link.h"
#include "sim/simulator.h"
#include "virtual_ctl.h"

namespace veltrane {
namespace {

class LineEnvironment : public VirtualCtlEnvironment<SimLine> {
 public:
  LineEnvironment(const std::vector<int>& devices, SimOptions options)
      : VirtualCtlEnvironment("line", devices, options) {}
  SimLine& Line() { return Far(); }
};

using Outcome = CtlRun;

// Runs one line command to its end on the environment's clock.
Outcome RunLine(LineEnvironment& env, std::vector<std::string> args) {
  return RunVirtualCtl<LineSession>(env, std::move(args), 3'600'000);
}

std::vector<int> Numbers(const QJsonObject& result, bool ok) {
  std::vector<int> numbers;
  for (const QJsonValue& device : result["devices"].toArray()) {
    if (device["ok"].toBool() == ok) numbers.push_back(device["device_number"].toInt());
  }
  return numbers;
}

TEST(LineSessionTest, ScanFindsTheProcessorsAndTellsWhatTheyHold) {
  LineEnvironment env({1, 2, 7}, {.pacing_9600 = true, .demo_content = true});
  env.Line().Device(1).state().SetLocked(true);
  const Outcome scan = RunLine(env, {"scan"});
  EXPECT_EQ(scan.code, 0) << scan.err;
  EXPECT_EQ(Numbers(scan.json, true), (std::vector<int>{1, 2, 7}));
  const QJsonArray devices = scan.json["devices"].toArray();
  EXPECT_EQ(devices[0].toObject()["first_preset_name"].toString(), "Live Rock");
  EXPECT_EQ(devices[1].toObject()["locked"].toBool(), true);
  EXPECT_EQ(devices[2].toObject()["locked"].toBool(), false);
  // The scan itself: 256 numbers, each waited for at most the reply time.
  EXPECT_LE(scan.json["scan_ms"].toDouble(), 256 * ScanWaitMs(kDefaultScanReplyMs));

  LineEnvironment empty({}, {.pacing_9600 = true});
  const Outcome nothing = RunLine(empty, {"scan"});
  EXPECT_EQ(nothing.code, 1);
  EXPECT_TRUE(nothing.json["devices"].toArray().isEmpty());
  EXPECT_LE(nothing.ms, 1.2 * 256 * ScanWaitMs(kDefaultScanReplyMs));
}

TEST(LineSessionTest, BackupAllThenRestoreAllIntoAnotherLineLeavesEverySlotIdentical) {
  QTemporaryDir dir;
  const std::string folder = dir.path().toStdString();
  LineEnvironment first({1, 2, 7}, {.demo_content = true});
  const Outcome backup = RunLine(first, {"backup-all", folder, "--range", "1-8"});
  ASSERT_EQ(backup.code, 0) << backup.err;
  EXPECT_EQ(Numbers(backup.json, true), (std::vector<int>{1, 2, 7}));
  for (int number : {1, 2, 7}) {
    EXPECT_TRUE(QFile::exists(QString::fromStdString(LineSession::DeviceFile(folder, number))));
  }

  // The same numbers with other contents: the defaults in every slot.
  LineEnvironment second({1, 2, 7}, {});
  ASSERT_NE(second.Line().Device(0).PresetImage(3), first.Line().Device(0).PresetImage(3));
  const Outcome restore = RunLine(second, {"restore-all", folder, "--range", "1-8"});
  ASSERT_EQ(restore.code, 0) << restore.err;
  EXPECT_EQ(Numbers(restore.json, true), (std::vector<int>{1, 2, 7}));
  for (std::size_t d = 0; d < 3; ++d) {
    for (int slot = 1; slot <= 20; ++slot) {
      EXPECT_EQ(second.Line().Device(d).PresetImage(slot), first.Line().Device(d).PresetImage(slot))
          << "device " << d << " slot " << slot;
    }
  }
  // Each processor's file went to that processor: the second's first slot is its own.
  EXPECT_NE(second.Line().Device(0).PresetImage(1), second.Line().Device(1).PresetImage(1));
}

TEST(LineSessionTest, AProcessorThatFallsSilentIsReportedAndTheOthersFinish) {
  QTemporaryDir dir;
  LineEnvironment env({1, 2, 7}, {.demo_content = true});
  // Processor 2 stops answering in the middle of its backup.
  env.Line().Device(1).options().drop_after_frames = 20;
  const Outcome backup = RunLine(env, {"backup-all", dir.path().toStdString(), "--range", "1-8"});
  EXPECT_EQ(backup.code, 1);
  EXPECT_EQ(Numbers(backup.json, true), (std::vector<int>{1, 7}));
  EXPECT_EQ(Numbers(backup.json, false), (std::vector<int>{2}));
  const QJsonObject failed = backup.json["devices"].toArray()[1].toObject();
  EXPECT_FALSE(failed["error"].toString().isEmpty());
  EXPECT_FALSE(QFile::exists(QString::fromStdString(
      LineSession::DeviceFile(dir.path().toStdString(), 2))));  // nothing half-written
}

TEST(LineSessionTest, TwoProcessorsWithOneNumberArePossibleDuplicates) {
  QTemporaryDir dir;
  LineEnvironment env({2, 2, 5}, {.pacing_9600 = true, .demo_content = true});
  const Outcome scan = RunLine(env, {"scan", "--range", "1-6"});
  EXPECT_EQ(scan.code, kExitDuplicate);
  const QJsonArray devices = scan.json["devices"].toArray();
  ASSERT_EQ(devices.size(), 2);
  EXPECT_EQ(devices[0].toObject()["device_number"].toInt(), 2);
  EXPECT_TRUE(devices[0].toObject()["garbled"].toBool());
  EXPECT_EQ(devices[1].toObject()["device_number"].toInt(), 5);
  EXPECT_TRUE(devices[1].toObject()["ok"].toBool());
  // A backup of the line leaves the duplicate out, says so, and still backs up the rest.
  const Outcome backup = RunLine(env, {"backup-all", dir.path().toStdString(), "--range", "1-6"});
  EXPECT_EQ(backup.code, kExitDuplicate);
  EXPECT_EQ(Numbers(backup.json, true), (std::vector<int>{5}));
  EXPECT_EQ(backup.json["devices"].toArray()[0].toObject()["error"].toString(),
            "possible duplicate device number");
  EXPECT_NE(backup.err.find("device 002: two processors"), std::string::npos) << backup.err;
  EXPECT_FALSE(
      QFile::exists(QString::fromStdString(LineSession::DeviceFile(dir.path().toStdString(), 2))));
  // Nothing is written to the number two processors share.
  const Outcome restore = RunLine(env, {"restore-all", dir.path().toStdString(), "--range", "1-6"});
  EXPECT_EQ(restore.code, kExitDuplicate) << restore.err;
}

// A processor that answers 200 ms late is found at its own number, not the next, with
// the default allowance, and its backup is made like the others'.
TEST(LineSessionTest, ALateProcessorIsFoundAndBackedUpAtItsOwnNumber) {
  for (const int late : {1, 2, 7}) {
    SCOPED_TRACE(late);
    QTemporaryDir dir;
    LineEnvironment env({1, 2, 7}, {.pacing_9600 = true, .demo_content = true});
    env.Line().SetLate(late, 200);
    const Outcome scan = RunLine(env, {"scan", "--range", "1-10"});
    EXPECT_EQ(scan.code, 0) << scan.err;
    EXPECT_EQ(Numbers(scan.json, true), (std::vector<int>{1, 2, 7}));
    EXPECT_EQ(scan.json["devices"].toArray().size(), 3);
    if (late != 7) continue;
    const Outcome backup =
        RunLine(env, {"backup-all", dir.path().toStdString(), "--range", "1-10"});
    EXPECT_EQ(backup.code, 0) << backup.err;
    for (int number : {1, 2, 7}) {
      EXPECT_TRUE(QFile::exists(
          QString::fromStdString(LineSession::DeviceFile(dir.path().toStdString(), number))));
    }
  }
}

// ports --probe asks each port for the processor at --device and says which answers.
TEST(LineSessionTest, PortsProbeSaysWhetherTheProcessorAnswers) {
  struct Case {
    std::vector<int> devices;
    std::vector<std::string> args;
    int late_ms;
    QString probe;
  };
  const Case cases[] = {
      {{1}, {"ports", "--probe"}, 0, "answers"},
      {{1}, {"ports", "--probe"}, 200, "answers"},
      {{1}, {"--device", "3", "ports", "--probe"}, 0, "no answer"},
      {{3, 3}, {"--device", "3", "ports", "--probe"}, 0, "garbled"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args) + " late " + std::to_string(c.late_ms));
    LineEnvironment env(c.devices, {.pacing_9600 = true});
    env.Line().SetLate(c.devices.front(), c.late_ms);
    const CtlRun run = RunVirtualCtl<PortProbe>(env, c.args, 60'000);
    EXPECT_EQ(run.code, kExitDone);
    const QJsonArray ports = run.json["serial_ports"].toArray();
    ASSERT_EQ(ports.size(), 1);
    EXPECT_EQ(ports[0].toObject()["path"].toString(), "line");
    EXPECT_EQ(ports[0].toObject()["probe"].toString(), c.probe);
    EXPECT_EQ(ports[0].toObject()["answers"].toBool(), c.probe == "answers");
    EXPECT_TRUE(run.json.contains("hid_devices"));
  }
}

// A backup whose file cannot be written is kept by the editor for another path; the
// command line has only the one path it was given, so it ends with a file error and keeps
// the 26 s of reading in a file of the temporary folder that it names. A folder that is
// missing from the start is refused before anything is read.
TEST(LineSessionTest, ABackupThatCannotBeSavedEndsWithAFileError) {
  VirtualCtlEnvironment<Simulator> env("sim");
  const CtlRun missing =
      RunVirtualCtl<CtlSession>(env, {"backup", "/proc/no-such-folder/rack.txt"}, 600'000, 2000);
  EXPECT_EQ(missing.code, kExitUsage) << missing.err;
  EXPECT_NE(missing.err.find("does not exist"), std::string::npos) << missing.err;
  EXPECT_EQ(env.Far().FramesReceived(), 0);

  // The folder goes away while the 20 presets are read.
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / "veltrane-line-session-backup";
  std::filesystem::create_directories(folder);
  const ParsedCommandLine parsed =
      ParseCtlCommandLine({"--port", "sim", "backup", (folder / "rack.txt").string()});
  ASSERT_EQ(parsed.error, "");
  std::FILE* out = std::fopen("/dev/null", "w");
  char* err_text = nullptr;
  std::size_t err_size = 0;
  std::FILE* err = open_memstream(&err_text, &err_size);
  int code = -1;
  {
    CtlSession session(parsed.options, env, out, err);
    session.Start([&](int c) { code = c; });
    env.Clock().Advance(5000);
    std::filesystem::remove_all(folder);
    while (code < 0 && env.Clock().NowMs() < 600'000) env.Clock().Advance(20);
  }
  std::fclose(out);
  std::fclose(err);
  const std::string said(err_text, err_size);
  std::free(err_text);
  EXPECT_EQ(code, kExitUsage) << said;
  EXPECT_NE(said.find("Cannot save"), std::string::npos) << said;
  const std::string kept = "; the 20 presets read were saved to ";
  const std::size_t at = said.find(kept);
  ASSERT_NE(at, std::string::npos) << said;
  const std::string fallback =
      said.substr(at + kept.size(), said.find('\n', at) - at - kept.size());
  std::ifstream in(fallback);
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 20) << fallback;
  std::filesystem::remove(fallback);
}

}  // namespace
}  // namespace veltrane

namespace veltrane {
namespace {

// SIGINT half-way through the first processor of a restore-all: that processor stops after
// the slot on the line, the second is not touched, and the table says both.
TEST(LineSessionTest, ASignalStopsTheProcessorBeingWrittenAndStartsNoOther) {
  QTemporaryDir dir;
  const std::string folder = dir.path().toStdString();
  LineEnvironment first({1, 2}, {.demo_content = true});
  ASSERT_EQ(RunLine(first, {"backup-all", folder, "--range", "1-2"}).code, 0);

  LineEnvironment second({1, 2}, {});
  const ParsedCommandLine parsed =
      ParseCtlCommandLine({"--json", "--port", "line", "restore-all", folder, "--range", "1-2"});
  ASSERT_EQ(parsed.error, "");
  char* out_text = nullptr;
  std::size_t out_size = 0;
  std::FILE* out = open_memstream(&out_text, &out_size);
  std::FILE* err = std::fopen("/dev/null", "w");
  int code = -1;
  {
    LineSession line(parsed.options, second, out, err);
    line.Start([&](int c) { code = c; });
    second.Clock().Advance(10'000);  // the scan, the connection and a few slots
    ASSERT_EQ(code, -1);
    line.Interrupt(SIGINT);
    for (int i = 0; i < 600 && code < 0; ++i) second.Clock().Advance(20);
  }
  std::fclose(out);
  std::fclose(err);
  const QJsonObject result =
      QJsonDocument::fromJson(QByteArray(out_text, static_cast<qsizetype>(out_size))).object();
  std::free(out_text);
  EXPECT_EQ(code, 128 + SIGINT);
  const QJsonArray devices = result["devices"].toArray();
  ASSERT_EQ(devices.size(), 2);
  EXPECT_TRUE(devices[0]["error"].toString().startsWith("stopped after slot "))
      << devices[0]["error"].toString().toStdString();
  EXPECT_EQ(devices[1]["error"].toString(), "not started: stopped");
  // The second processor holds none of the file.
  for (int slot = 1; slot <= 20; ++slot) {
    EXPECT_NE(second.Line().Device(1).PresetImage(slot), first.Line().Device(1).PresetImage(slot));
  }
}

}  // namespace
}  // namespace veltrane
