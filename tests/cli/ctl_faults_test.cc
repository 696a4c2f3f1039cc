// veltrane-ctl against a processor that misbehaves on the virtual clock: silence once a
// write has landed ends the read-back with "no answer" instead of waiting for ever; a
// refused lock says so; a device number the processor did not take is not reported as
// taken; nothing a run asked for is left on the line for the next one.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <utility>

#include "cli/command_line.h"
#include "cli/session.h"
#include "frame/frame_codec.h"
#include "sim/simulator.h"
#include "virtual_ctl.h"

namespace veltrane {
namespace {

// Runs `args` until `written` holds on the simulator, silences it, and runs on until the
// exit code or 10 minutes of virtual time.
CtlRun RunSilencedAfter(std::vector<std::string> args,
                        const std::function<bool(const Simulator&)>& written) {
  VirtualCtlEnvironment<Simulator> env("sim");
  return RunWithEvent(
      env, std::move(args), [&] { return written(env.Far()); },
      [&](CtlSession&) { env.Far().options().silent = true; }, 600'000);
}

TEST(CtlFaultsTest, AProcessorFallingSilentBeforeTheReadBackEndsTheRun) {
  struct Case {
    std::vector<std::string> args;
    std::function<bool(const Simulator&)> written;
  };
  const std::vector<Case> cases = {
      {{"set", "out1", "gain", "-3"},
       [](const Simulator& sim) { return sim.LiveModel().channels[kOut1].gain != 120; }},
      {{"--timeout", "5", "set", "out1", "eq2", "gain", "4"},
       [](const Simulator& sim) {
         return sim.LiveModel().bands[BandId(kOut1, 1)].peak_gain != kDefaultEqGain;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    const CtlRun r = RunSilencedAfter(c.args, c.written);
    EXPECT_EQ(r.code, kExitNoAnswer) << r.json["error"].toString().toStdString();
    EXPECT_LT(r.ms, 61'000);
    EXPECT_FALSE(r.json["ok"].toBool());
  }
}

TEST(CtlFaultsTest, ALockTheProcessorRefusesIsReportedAsRefused) {
  VirtualCtlEnvironment<Simulator> env("sim", SimOptions{.refuse_lock = true});
  const CtlRun refused = RunVirtualCtl<CtlSession>(env, {"lock", "Abc123"}, 60'000, 2000);
  EXPECT_EQ(refused.code, kExitNoAnswer);
  EXPECT_EQ(refused.json["error"].toString(), "the processor refused to lock the panel");
  EXPECT_FALSE(refused.json["locked"].toBool());
  EXPECT_LT(refused.ms, 10'000);

  env.Far().options().refuse_lock = false;
  const CtlRun locked = RunVirtualCtl<CtlSession>(env, {"lock", "Abc123"}, 60'000, 2000);
  EXPECT_EQ(locked.code, kExitDone) << locked.err;
  EXPECT_TRUE(env.Far().Locked());
}

TEST(CtlFaultsTest, ADeviceNumberCountsAsTakenOnlyWhenTheProcessorAnswersAtIt) {
  VirtualCtlEnvironment<Simulator> env("sim", SimOptions{.keep_device_number = true});
  const CtlRun kept = RunVirtualCtl<CtlSession>(env, {"set-device", "7"}, 60'000, 2000);
  EXPECT_EQ(kept.code, kExitNoAnswer) << kept.err;
  EXPECT_FALSE(kept.json.contains("device_number"));
  EXPECT_EQ(env.Far().Settings().device_number, 1);

  env.Far().options().keep_device_number = false;
  const CtlRun taken = RunVirtualCtl<CtlSession>(env, {"set-device", "7"}, 60'000, 2000);
  EXPECT_EQ(taken.code, kExitDone) << taken.err;
  EXPECT_EQ(taken.json["device_number"].toInt(), 7);
  EXPECT_EQ(env.Far().Settings().device_number, 7);
}

TEST(CtlFaultsTest, ARestoreWithoutReadBackWaitsForTheNamesItAskedFor) {
  const std::string file =
      (std::filesystem::temp_directory_path() / "veltrane-ctl-faults-backup.txt").string();
  VirtualCtlEnvironment<Simulator> env("sim", SimOptions{.pacing_9600 = true});
  ASSERT_EQ(RunVirtualCtl<CtlSession>(env, {"backup", file}, 120'000, 2000).code, kExitDone);

  // When the names' answer leaves the processor, and when its last byte is on the line.
  std::int64_t names_answered = -1;
  env.Far().SetTrace([&](bool incoming, std::span<const std::uint8_t> frame) {
    if (!incoming && frame.size() > 6 && frame[6] == kObjPresetNames) {
      names_answered = env.Clock().NowMs();
    }
  });
  const std::int64_t start = env.Clock().NowMs();
  const CtlRun r = RunVirtualCtl<CtlSession>(env, {"restore", file, "--no-verify"}, 120'000);
  ASSERT_EQ(r.code, kExitDone) << r.err;
  ASSERT_GE(names_answered, start);
  const double names_ms = 412 * Simulator::kSerialMsPerByte;
  EXPECT_GE(start + r.ms, names_answered + static_cast<std::int64_t>(names_ms));
  std::filesystem::remove(file);
}

// --timeout is a limit on silence: a backup whose records come every 1.2 s is not cut off
// by a 2 s limit, while a processor that falls silent is given up after those 2 s.
TEST(CtlFaultsTest, TheTimeoutCountsSilenceNotTheWholeStep) {
  const std::string file =
      (std::filesystem::temp_directory_path() / "veltrane-ctl-timeout-backup.txt").string();
  VirtualCtlEnvironment<Simulator> env("sim", SimOptions{.pacing_9600 = true});
  const CtlRun r =
      RunVirtualCtl<CtlSession>(env, {"--timeout", "2", "backup", file}, 120'000, 2000);
  EXPECT_EQ(r.code, kExitDone) << r.err;
  EXPECT_GT(r.ms, 20'000);  // 20 records 1.2 s apart
  std::filesystem::remove(file);

  const CtlRun silent = RunSilencedAfter({"--timeout", "2", "set", "out1", "gain", "-6"},
                                         [](const Simulator& sim) {
                                           return sim.LiveModel().channels[kOut1].gain != 120;
                                         });
  EXPECT_EQ(silent.code, kExitNoAnswer);
  EXPECT_LT(silent.ms, 2'500);
}

}  // namespace
}  // namespace veltrane
