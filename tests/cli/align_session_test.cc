// veltrane-ctl align against one simulated processor on the virtual clock: the suggestion
// from the live settings as JSON numbers, --apply written and read back, and the pairs
// that cannot be aligned.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cstdio>
#include <memory>

#include "cli/parameters.h"
#include "cli/session.h"
#include "link/fake_hid_backend.h"
#include "model/image_codec.h"
#include "model/tables.h"
#include "protocol/virtual_clock.h"
#include "response/alignment.h"
#include "sim/sim_link.h"
#include "sim/simulator.h"
#include "virtual_ctl.h"

namespace veltrane {
namespace {

class SimEnvironment : public VirtualCtlEnvironment<Simulator> {
 public:
  explicit SimEnvironment(const ParameterModel& live) : VirtualCtlEnvironment("sim") {
    const std::vector<std::uint8_t> bytes = ImageDataBytes(EncodeParameterImage(live));
    SimImage image{};
    std::copy(bytes.begin(), bytes.end(), image.begin());
    Far().state().SetLiveImage(image);
  }
  Simulator& Sim() { return Far(); }
};

using Outcome = CtlRun;

Outcome RunCtl(SimEnvironment& env, std::vector<std::string> args) {
  return RunVirtualCtl<CtlSession>(env, std::move(args), 600'000, 2000);  // then the disconnect
}

// H_OUT and M_OUT as 12 dB LR at 2 kHz in the same polarity: a notch at the crossover.
ParameterModel TwoWayInPhase() {
  ParameterModel m;
  m.channels[kOut1].hp_type = m.channels[kOut2].lp_type = 1;
  m.channels[kOut1].hp_freq = m.channels[kOut2].lp_freq = 160;
  m.channels[kOut2].delay = 5;
  m.Output(kOut1).route = m.Output(kOut2).route = 1;
  return m;
}

TEST(AlignCommandTest, SuggestsFromTheLiveSettingsAndAppliesWithReadBack) {
  SimEnvironment env(TwoWayInPhase());
  const AlignmentSuggestion expected = *SuggestAlignment(TwoWayInPhase(), kOut1, kOut2).suggestion;

  Outcome r = RunCtl(env, {"align", "out1", "out2"});
  ASSERT_EQ(r.code, 0) << r.err;
  const QJsonObject& j = r.json;
  EXPECT_EQ(j["outputs"].toArray(), QJsonArray({"out1", "out2"}));
  ASSERT_TRUE(j["crossover_hz"].isDouble());
  EXPECT_NEAR(j["crossover_hz"].toDouble(), 2000, 20);
  EXPECT_EQ(j["polarity"].toObject(), QJsonObject({{"out1", "normal"}, {"out2", "inverted"}}));
  EXPECT_EQ(j["delay_ms"].toObject(), QJsonObject({{"out1", 0.0}, {"out2", 0.0}}));
  ASSERT_TRUE(j["flatness_before_db"].isDouble() && j["flatness_after_db"].isDouble());
  EXPECT_NEAR(j["flatness_before_db"].toDouble(), expected.flatness_before_db, 0.05);
  EXPECT_GT(j["flatness_before_db"].toDouble(), 3);
  EXPECT_LT(j["flatness_after_db"].toDouble(), 0.1);
  EXPECT_FALSE(j.contains("output"));
  // Without --apply nothing is written.
  EXPECT_EQ(env.Sim().LiveModel().channels[kOut2].polarity, 0);
  EXPECT_EQ(env.Sim().LiveModel().channels[kOut2].delay, 5);

  r = RunCtl(env, {"align", "h_out", "m_out", "--apply"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(env.Sim().LiveModel().channels[kOut2].polarity, 1);
  EXPECT_EQ(env.Sim().LiveModel().channels[kOut2].delay, 0);
  EXPECT_EQ(env.Sim().LiveModel().channels[kOut1].delay, 0);
  // What was written is what the next run starts from: nothing left to improve.
  r = RunCtl(env, {"align", "out1", "out2"});
  ASSERT_EQ(r.code, 0);
  EXPECT_LT(r.json["flatness_before_db"].toDouble(), 0.1);
}

TEST(AlignCommandTest, PairsThatCannotBeAlignedAreUsageErrors) {
  ParameterModel muted = TwoWayInPhase();
  muted.channels[kOut2].mute = 1;
  struct Case {
    std::vector<std::string> args;
    const ParameterModel model;
    std::string error;
  };
  const Case cases[] = {
      {{"align", "out1", "out1"}, TwoWayInPhase(), "give two different outputs"},
      {{"align", "in", "out2"}, TwoWayInPhase(), "give two different outputs"},
      {{"align", "out1", "out2"}, muted, "there is no sum"},
      {{"align", "out3", "out4"}, TwoWayInPhase(), "there is no sum"},
  };
  for (const Case& c : cases) {
    SimEnvironment env(c.model);
    const Outcome r = RunCtl(env, c.args);
    EXPECT_EQ(r.code, 2) << c.args[1] << " " << c.args[2];
    EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
    EXPECT_EQ(env.Sim().LiveModel(), c.model);
  }
  EXPECT_NE(ParseCtlCommandLine({"--port", "x", "show", "--apply"}).error, "");
}

TEST(ShowCommandTest, VerboseTracesEveryFrameWithItsTime) {
  SimEnvironment env(TwoWayInPhase());
  const Outcome r = RunCtl(env, {"-v", "info"});
  ASSERT_EQ(r.code, 0) << r.err;
  // The image request leaves first and the image comes back.
  EXPECT_NE(r.err.find(" s > A5 A5 A5 00 A2 00 28"), std::string::npos) << r.err.substr(0, 400);
  EXPECT_NE(r.err.find(" s < A5 A5 A5 00 52 00 28"), std::string::npos) << r.err.substr(0, 400);
}

TEST(ShowCommandTest, NumbersAreNumbersInTheirUnits) {
  ParameterModel live = TwoWayInPhase();
  live.Output(kOut1).limiter_threshold = 0;  // -20.0dB
  live.Output(kOut1).limiter_attack = 26;    // 20 ms
  live.Output(kOut1).limiter_release = 3;    // 8X
  live.Output(kOut1).limiter_ratio = 8;      // inf:1
  SimEnvironment env(live);
  const Outcome r = RunCtl(env, {"show"});
  ASSERT_EQ(r.code, 0) << r.err;
  const QJsonArray channels = r.json["channels"].toArray();
  const QJsonObject out1 = channels[kOut1].toObject();
  EXPECT_EQ(out1["limiter"].toObject(), QJsonObject({{"threshold_db", -20.0},
                                                     {"attack_ms", 20.0},
                                                     {"release_x", 8.0},
                                                     {"ratio", QJsonValue()}}));
  const QJsonObject crossover = out1["crossover"].toObject();
  EXPECT_DOUBLE_EQ(crossover["hp_freq_hz"].toDouble(), kFreqTable[160]);
  EXPECT_FALSE(crossover["hp_off"].toBool());
  EXPECT_DOUBLE_EQ(crossover["lp_freq_hz"].toDouble(), kFreqTable[kFreqIndexMax]);
  EXPECT_TRUE(crossover["lp_off"].toBool());
}

}  // namespace
}  // namespace veltrane
