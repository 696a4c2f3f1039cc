// veltrane-ctl's read-back under a processor that falls silent once the write has landed:
// every run ends with "no answer" instead of waiting for ever.

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include "cli/command_line.h"
#include "cli/session.h"
#include "sim/simulator.h"
#include "virtual_ctl.h"

namespace veltrane {
namespace {

// Runs `args` until `written` holds on the simulator, silences it, and runs on until the
// exit code or 10 minutes of virtual time.
CtlRun RunSilencedAfter(std::vector<std::string> args,
                        const std::function<bool(const Simulator&)>& written) {
  VirtualCtlEnvironment<Simulator> env("sim");
  args.insert(args.begin(), {"--port", "sim"});
  const ParsedCommandLine parsed = ParseCtlCommandLine(args);
  EXPECT_EQ(parsed.error, "");
  std::FILE* sink = std::fopen("/dev/null", "w");
  CtlRun run;
  {
    CtlSession session(parsed.options, env, sink, sink);
    session.SetQuiet(true);
    session.Start([&](int code) { run.code = code; });
    while (run.code < 0 && !written(env.Far()) && env.Clock().NowMs() < 120'000) {
      env.Clock().Advance(20);
    }
    EXPECT_TRUE(written(env.Far())) << "the write never reached the processor";
    env.Far().options().silent = true;
    const std::int64_t silenced = env.Clock().NowMs();
    while (run.code < 0 && env.Clock().NowMs() - silenced < 600'000) env.Clock().Advance(20);
    run.ms = env.Clock().NowMs() - silenced;
    run.json = session.Result();
  }
  std::fclose(sink);
  return run;
}

TEST(ReadBackFaultTest, AProcessorFallingSilentBeforeTheReadBackEndsTheRun) {
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

}  // namespace
}  // namespace veltrane
