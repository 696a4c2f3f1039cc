// veltrane-ctl stopped half-way, by a signal or by a link that goes away: the slot on its
// way out finishes, the run ends at once with the signal's exit code or "no answer", and
// it says exactly which slots hold the file and which were left as they were.

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <utility>

#include "cli/command_line.h"
#include "cli/parameters.h"
#include "cli/session.h"
#include "disk/qt_file_store.h"
#include "sim/simulator.h"
#include "storage/image_text.h"
#include "virtual_ctl.h"

namespace veltrane {
namespace {

// Runs `args` against `env` and calls `event` on the session once `at_ms` of virtual time
// have passed.
CtlRun RunAndStop(VirtualCtlEnvironment<Simulator>& env, std::vector<std::string> args,
                  std::int64_t at_ms, const std::function<void(CtlSession&)>& event) {
  const std::int64_t start = env.Clock().NowMs();
  return RunWithEvent(
      env, std::move(args), [&] { return env.Clock().NowMs() - start >= at_ms; }, event, 120'000);
}

class CtlStopTest : public testing::Test {
 protected:
  void SetUp() override {
    // A backup of the demo presets; the processor then holds plain presets, so that every
    // slot shows whether the file reached it.
    ASSERT_EQ(RunVirtualCtl<CtlSession>(env_, {"backup", file_}, 120'000, 2000).code, kExitDone);
    ResetSlots();
  }
  void ResetSlots() {
    old_ = DefaultSimImage();
    old_[10] ^= 0x5A;
    for (int slot = 1; slot <= 20; ++slot) env_.Far().state().SetPreset(slot, old_, "old");
  }
  void TearDown() override { std::filesystem::remove(file_); }

  // Slots 1..n hold the file's records, n+1..20 their old content.
  void ExpectSlotsWritten(int n) {
    QtFileStore files;
    const CheckedFile backup = ReadImageFile(files, file_, true);
    ASSERT_EQ(backup.error, "");
    for (int slot = 1; slot <= 20; ++slot) {
      const auto record = ImageDataBytes(
          std::string_view(backup.text).substr((slot - 1) * kImageTextLength, kImageTextLength));
      const SimImage& held = env_.Far().state().preset(slot).image;
      const bool from_file = std::equal(held.begin(), held.end(), record.begin(), record.end());
      EXPECT_EQ(from_file, slot <= n) << "slot " << slot;
      if (slot > n) {
        EXPECT_EQ(held, old_) << "slot " << slot;
      }
    }
  }

  VirtualCtlEnvironment<Simulator> env_{"sim",
                                        SimOptions{.pacing_9600 = true, .demo_content = true}};
  std::string file_ =
      (std::filesystem::temp_directory_path() / "veltrane-ctl-stop-backup.txt").string();
  SimImage old_{};
};

TEST_F(CtlStopTest, ASignalLetsTheSlotOnTheLineFinishAndSaysHowFarTheRestoreGot) {
  for (const int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal);
    ResetSlots();
    // 8.55 s after the start: the connection took about 2 s, slots leave 1 s apart; the
    // signal comes between a slot's header and its block.
    const CtlRun r = RunAndStop(env_, {"restore", file_}, 8'570,
                                [signal](CtlSession& s) { s.Interrupt(signal); });
    EXPECT_EQ(r.code, 128 + signal);
    const int n = r.json["slots_written"].toInt();
    ASSERT_GT(n, 1);
    ASSERT_LT(n, 20);
    EXPECT_EQ(r.json["error"].toString().toStdString(),
              "stopped after slot " + std::to_string(n) + " of 20; slots " + std::to_string(n + 1) +
                  "-20 unchanged");
    EXPECT_LT(r.ms, 1'500);
    ExpectSlotsWritten(n);
  }
}

TEST_F(CtlStopTest, ALinkLostDuringARestoreEndsTheRunNamingTheSlotsWritten) {
  for (const bool verify : {true, false}) {
    SCOPED_TRACE(verify);
    ResetSlots();
    std::vector<std::string> args = {"restore", file_};
    if (!verify) args.push_back("--no-verify");
    const CtlRun r = RunAndStop(env_, args, 8'000, [this](CtlSession&) { env_.Port().Close(); });
    EXPECT_EQ(r.code, kExitNoAnswer);
    const int n = r.json["slots_written"].toInt();
    ASSERT_GT(n, 1);
    ASSERT_LT(n, 20);
    EXPECT_EQ(r.json["error"].toString().toStdString(),
              "the link to the processor was lost after slot " + std::to_string(n) +
                  " of 20; slots " + std::to_string(n + 1) + "-20 were not written (slot " +
                  std::to_string(n + 1) + " may be incomplete)");
    EXPECT_LT(r.ms, 3'000);
    ExpectSlotsWritten(n);
  }
}

TEST_F(CtlStopTest, ALoadOrABackupCutOffIsNeverReportedAsDone) {
  struct Case {
    std::vector<std::string> args;
    std::int64_t at_ms;
    bool signal;
    int code;
    std::string error;
  };
  const std::string preset = file_ + ".preset";
  const std::string partial = file_ + ".partial";
  ASSERT_EQ(RunVirtualCtl<CtlSession>(env_, {"dump", preset}, 60'000, 2000).code, kExitDone);
  const std::vector<Case> cases = {
      {{"load", preset, "--no-verify"},
       4'000,
       false,
       kExitNoAnswer,
       "the link to the processor was lost after the preset was written (not read back)"},
      {{"load", preset},
       4'000,
       true,
       128 + SIGINT,
       "stopped: the preset was written to the processor, not read back"},
      {{"backup", partial},
       6'000,
       true,
       128 + SIGINT,
       "stopped after reading 3 of 20 slots; nothing was saved"},
      {{"backup", partial},
       6'000,
       false,
       kExitNoAnswer,
       "the link to the processor was lost after reading 3 of 20 slots; nothing was saved"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args) + (c.signal ? " signal" : " link lost"));
    const CtlRun r = RunAndStop(env_, c.args, c.at_ms, [&](CtlSession& s) {
      if (c.signal) {
        s.Interrupt(SIGINT);
      } else {
        env_.Port().Close();
      }
    });
    EXPECT_EQ(r.code, c.code);
    EXPECT_EQ(r.json["error"].toString().toStdString(), c.error);
    EXPECT_LT(r.ms, 3'000);
    EXPECT_FALSE(std::filesystem::exists(partial));
  }
  std::filesystem::remove(preset);
}

}  // namespace
}  // namespace veltrane
