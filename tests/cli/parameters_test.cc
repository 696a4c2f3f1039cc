// `set` arguments with the editor's snapping and clamping, and the read-back comparison.

#include "cli/parameters.h"

#include <gtest/gtest.h>

#include "model/tables.h"

namespace veltrane {
namespace {

TEST(SetArgumentsTest, EachParameterSnapsLikeTheEditor) {
  ParameterModel m;
  const std::vector<std::string> args = {
      "out1",      "gain", "-3.5",    "OUT1",    "eq3",    "freq", "120",    "out1",    "eq3",
      "q",         "2,0",  "out1",    "eq3",     "type",   "ls",   "out1",   "eq3",     "gain",
      "4.2",       "in",   "delay",   "1",       "in",     "mute", "on",     "m_out",   "polarity",
      "inverted",  "out2", "route",   "a+b",     "out3",   "hp",   "freq",   "80",      "out3",
      "hp",        "type", "24db-LR", "out3",    "lp",     "freq", "off",    "out1",    "limiter",
      "threshold", "-6dB", "out1",    "limiter", "attack", "20ms", "out1",   "limiter", "ratio",
      "4:1",       "out1", "limiter", "release", "8x",     "in",   "bypass", "on"};
  const SetOutcome outcome = ApplySetArguments(args, m);
  ASSERT_EQ(outcome.error, "");
  EXPECT_TRUE(outcome.warnings.empty());
  const ChannelParams& out1 = m.channels[kOut1];
  EXPECT_DOUBLE_EQ(kChannelGainTable[out1.gain], -3.5);
  const BandParams& band = m.bands[BandId(kOut1, 2)];
  EXPECT_EQ(band.freq, NearestFreqIndex(120.0));
  EXPECT_EQ(band.q, NearestQIndex(2.0));
  EXPECT_EQ(band.type, kLowShelf);
  EXPECT_EQ(band.shelf_gain, NearestEqGainIndex(4.2));  // a shelf's own gain
  EXPECT_EQ(band.peak_gain, kDefaultEqGain);
  EXPECT_EQ(m.channels[kInA].delay, 48);  // 1 ms in steps of 0.021 ms
  EXPECT_EQ(m.channels[kInA].mute, 1);
  EXPECT_EQ(m.channels[kInA].eq_bypass, 1);
  EXPECT_EQ(m.channels[kOut2].polarity, 1);
  EXPECT_EQ(m.Output(kOut2).route, 3);
  EXPECT_EQ(m.channels[kOut3].hp_freq, NearestFreqIndex(80.0));
  EXPECT_EQ(kCrossoverTypeNames[m.channels[kOut3].hp_type], "24db-LR");
  EXPECT_EQ(m.channels[kOut3].lp_freq, kFreqIndexMax);
  EXPECT_EQ(kLimiterThresholdNames[m.Output(kOut1).limiter_threshold], "-6.0dB");
  EXPECT_EQ(kLimiterAttackNames[m.Output(kOut1).limiter_attack], "20");
  EXPECT_EQ(kLimiterRatioNames[m.Output(kOut1).limiter_ratio], "4:1");
  EXPECT_EQ(kLimiterReleaseNames[m.Output(kOut1).limiter_release], "8X");
  // Each changed block once, in the order of first change.
  const std::vector<BlockAddress> expected = {
      {kOut1, kChannelBlock},   {kOut1, EqBandBlockNumber(BandId(kOut1, 2))},
      {kInA, kChannelBlock},    {kOut2, kChannelBlock},
      {kOut3, kCrossoverBlock}, {kOut1, kLimiterBlock}};
  EXPECT_EQ(outcome.changed, expected);
}

TEST(SetArgumentsTest, AGainLandsInTheTypeItsBandEndsWithWhateverTheOrder) {
  const std::vector<std::vector<std::string>> orders = {
      {"out1", "eq1", "gain", "6", "out1", "eq1", "type", "ls"},
      {"out1", "eq1", "type", "ls", "out1", "eq1", "gain", "6"}};
  for (const std::vector<std::string>& args : orders) {
    SCOPED_TRACE(testing::PrintToString(args));
    ParameterModel m;
    ASSERT_EQ(ApplySetArguments(args, m).error, "");
    const BandParams& band = m.bands[BandId(kOut1, 0)];
    EXPECT_EQ(band.type, kLowShelf);
    EXPECT_DOUBLE_EQ(kEqGainTable[band.ActiveGain()], 6.0);
    EXPECT_EQ(band.peak_gain, kDefaultEqGain);
  }
}

TEST(SetArgumentsTest, EveryNumberSaysWhatTheTableMadeOfIt) {
  ParameterModel m;
  const SetOutcome outcome = ApplySetArguments(
      std::vector<std::string>{"out1", "eq3", "freq", "120", "out1", "eq3", "gain", "-3",
                               "out1", "delay", "1", "out2", "gain", "30"},
      m);
  ASSERT_EQ(outcome.error, "");
  ASSERT_EQ(outcome.values.size(), 4u);
  EXPECT_TRUE(outcome.values[0].Moved());
  EXPECT_EQ(outcome.values[0].Describe(),
            "out1 eq3 freq 120 Hz -> " + FormatShortest(kFreqTable[NearestFreqIndex(120.0)]) +
                " Hz");
  EXPECT_FALSE(outcome.values[1].Moved());  // -3 dB is a table entry
  EXPECT_EQ(outcome.values[2].Describe(), "out1 delay 1 ms -> 1.008 ms");
  EXPECT_TRUE(outcome.values[3].Moved() && outcome.values[3].clamped);
}

TEST(SetArgumentsTest, OutOfRangeIsClampedWithAWarningAndErrorsChangeNothing) {
  ParameterModel m;
  SetOutcome outcome = ApplySetArguments(
      std::vector<std::string>{"out1", "gain", "20", "in", "eq1", "freq", "5"}, m);
  ASSERT_EQ(outcome.error, "");
  EXPECT_EQ(outcome.warnings,
            (std::vector<std::string>{"out1 gain 20 is out of range; set to 12.0 dB",
                                      "in eq1 freq 5 is out of range; set to 19.7 Hz"}));
  EXPECT_EQ(m.channels[kOut1].gain, kChannelGainIndexMax);

  struct Case {
    std::vector<std::string> args;
    std::string error;
  };
  const Case cases[] = {
      {{"out9", "gain", "1"}, "unknown channel \"out9\""},
      {{"out1", "volume", "1"}, "unknown parameter \"volume\""},
      {{"out1", "gain", "loud"}, "bad value \"loud\" for out1 gain"},
      {{"in", "limiter", "ratio", "4:1"}, "in limiter ratio: only outputs have this"},
      {{"out1", "eq9", "freq", "100"}, "unknown parameter \"eq9\""},
      {{"out1", "eq1", "slope", "2"}, "unknown EQ field \"slope\" (type, freq, gain, q)"},
      {{"out1", "gain"}, "missing value for out1 gain"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    ParameterModel before;
    before.channels[kInA].gain = 7;
    ParameterModel after = before;
    // A valid group first: nothing is applied when a later one is wrong.
    std::vector<std::string> args = {"in", "gain", "3"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    outcome = ApplySetArguments(args, after);
    EXPECT_EQ(outcome.error, c.error);
    EXPECT_EQ(after, before);
    EXPECT_TRUE(outcome.changed.empty());
  }
}

TEST(ReadBackTest, DifferencesNameTheirPlaceAndTheLockByteCanBeSkipped) {
  std::vector<std::uint8_t> sent(552, 0), read(552, 0);
  read[8 * 64] = 1;  // the lock byte
  read[8 * ImageRecordOfBlock(kOut1, EqBandBlockNumber(BandId(kOut1, 2))) + 2] = 0x5B;
  EXPECT_EQ(CompareImageData(sent, read, false).size(), 2u);
  const std::vector<ByteDifference> d = CompareImageData(sent, read, true);
  ASSERT_EQ(d.size(), 1u);
  EXPECT_EQ(DescribeDifference(d[0]), "out1 EQ band 3 (record 25), byte 2: sent 00, read 5B");
}

}  // namespace
}  // namespace veltrane
