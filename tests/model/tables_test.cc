#include "model/tables.h"

#include <gtest/gtest.h>

#include <cmath>

namespace veltrane {
namespace {

TEST(Tables, EntriesAreTheNearestDoubles) {
  EXPECT_EQ(kChannelGainTable[3], -11.7);
  EXPECT_EQ(kChannelGainTable[120], 0.0);
  EXPECT_EQ(kChannelGainTable[240], 12.0);
  EXPECT_EQ(kEqGainTable[0], -24.0);
  EXPECT_EQ(kEqGainTable[1], -23.8);
  EXPECT_EQ(kEqGainTable[119], -0.2);
  EXPECT_EQ(kEqGainTable[120], 0.0);
  EXPECT_EQ(kQTable[4], 1.0);
  EXPECT_EQ(kQTable[5], 1.2);
  EXPECT_EQ(kQTable[179], 36.0);
  EXPECT_EQ(kFreqTable[0], 19.7);
  EXPECT_EQ(kFreqTable[16], 31.3);
  EXPECT_EQ(kFreqTable[76], 179.0);
  EXPECT_EQ(kFreqTable[112], 500.0);
  EXPECT_EQ(kFreqTable[136], 1000.0);
  EXPECT_EQ(kFreqTable[160], 2000.0);
  EXPECT_EQ(kFreqTable[240], 20100.0);
  for (int i = 1; i < kFreqCount; ++i) EXPECT_LT(kFreqTable[i - 1], kFreqTable[i]) << i;
}

TEST(Tables, NearestEntryFromTypedText) {
  // Ties go to the lower index; "halfway" is decided on the binary values.
  const struct {
    int (*lookup)(double);
    const char* text;
    int expected;
  } cases[] = {
      {NearestFreqIndex, "5", 0},       {NearestFreqIndex, "25000", 240},
      {NearestFreqIndex, "1015", 136},  {NearestFreqIndex, "1045", 137},
      {NearestFreqIndex, "1000", 136},  {NearestFreqIndex, "20", 0},
      {NearestEqGainIndex, "-30", 0},   {NearestEqGainIndex, "20", 180},
      {NearestEqGainIndex, "0.1", 120}, {NearestEqGainIndex, "-0.1", 119},
      {NearestEqGainIndex, "5.3", 146}, {NearestEqGainIndex, "-23.9", 1},
      {NearestQIndex, "0.3", 0},        {NearestQIndex, "0.5", 1},
      {NearestQIndex, "1.1", 5},        {NearestQIndex, "100", 179},
      {NearestQIndex, "0.1", 0},
  };
  for (const auto& c : cases) {
    const auto v = ParseDecimal(c.text);
    ASSERT_TRUE(v.has_value()) << c.text;
    EXPECT_EQ(c.lookup(*v), c.expected) << c.text;
  }
  EXPECT_EQ(NearestFreqIndex(std::string_view("1000")), 136);
  EXPECT_EQ(NearestQIndex(std::string_view("40")), 179);
}

TEST(Tables, ParseDecimalAcceptsOnlyPlainDecimals) {
  for (const char* ok : {"0", "-3.2", "5.", ".5", "-.5", "20100", "007"}) {
    EXPECT_TRUE(ParseDecimal(ok).has_value()) << ok;
  }
  for (const char* bad : {"", "-", ".", "1.2.3", "1-2", "--1", "1e3", " 1", "+1", "0x10"}) {
    EXPECT_FALSE(ParseDecimal(bad).has_value()) << bad;
    EXPECT_FALSE(NearestFreqIndex(std::string_view(bad)).has_value()) << bad;
  }
}

TEST(Tables, PixelConversions) {
  EXPECT_EQ(FreqToX(20), 121);
  EXPECT_EQ(FreqToX(20000), 888);
  EXPECT_EQ(FreqToX(1000), 555);
  EXPECT_EQ(FreqToX(19.7), 119);
  EXPECT_EQ(EqGainToY(15), 16);
  EXPECT_EQ(EqGainToY(0), 86);
  EXPECT_EQ(EqGainToY(-30), 227);
  EXPECT_EQ(EqGainToY(-24), 198);
  const struct {
    int pixel, freq_index;
  } xs[] = {{0, 0}, {121, 0}, {122, 1}, {555, 136}, {888, 240}, {900, 240}, {1000, 240}};
  for (const auto& c : xs) EXPECT_EQ(XToFreqIndex(c.pixel), c.freq_index) << c.pixel;
  const struct {
    int pixel, gain_index;
  } ys[] = {{86, 121}, {87, 120}, {10, 180}, {240, 0}, {0, 180}, {400, 0}};
  for (const auto& c : ys) EXPECT_EQ(YToEqGainIndex(c.pixel), c.gain_index) << c.pixel;
}

TEST(Tables, DisplayFormats) {
  EXPECT_EQ(FormatChannelGain(0), "-12.0 dB");
  EXPECT_EQ(FormatChannelGain(120), "0.0 dB");
  EXPECT_EQ(FormatChannelGain(240), "12.0 dB");
  EXPECT_EQ(FormatDelay(960), "20.160 ms");
  EXPECT_EQ(FormatDelay(1), "0.021 ms");
  EXPECT_EQ(FormatDelay(0), "0.000 ms");
  // 0.021 ms per step at 343 m/s is 7.203 mm.
  EXPECT_EQ(FormatDelayDistance(0), "0.000 m / 0.00 ft");
  EXPECT_EQ(FormatDelayDistance(139), "1.001 m / 3.28 ft");
  EXPECT_EQ(FormatDelayDistance(960), "6.915 m / 22.69 ft");
  EXPECT_EQ(FormatOneDecimal(kFreqTable[136]), "1000.0");
  EXPECT_EQ(FormatOneDecimal(kEqGainTable[104]), "-3.2");
  EXPECT_EQ(FormatShortest(kFreqTable[136]), "1000");
  EXPECT_EQ(FormatShortest(kEqGainTable[104]), "-3.2");
  EXPECT_EQ(FormatShortest(kEqGainTable[120]), "0");
  EXPECT_EQ(FormatShortest(kFreqTable[0]), "19.7");
}

TEST(Tables, ChoiceLists) {
  EXPECT_EQ(kLimiterThresholdNames.front(), "-20.0dB");
  EXPECT_EQ(kLimiterThresholdNames[40], "0.0dB");
  EXPECT_EQ(kLimiterThresholdNames.back(), "10.0dB");
  EXPECT_EQ(kLimiterAttackNames[0], "0.3");
  EXPECT_EQ(kLimiterAttackNames[6], "0.9");
  EXPECT_EQ(kLimiterAttackNames[7], "1.0");
  EXPECT_EQ(kLimiterAttackNames[15], "9.0");
  EXPECT_EQ(kLimiterAttackNames[16], "10");
  EXPECT_EQ(kLimiterAttackNames.back(), "100");
  EXPECT_EQ(kCrossoverTypeNames[11], "48db-Bessel");
  EXPECT_EQ(kLimiterRatioNames[8], "inf:1");
}

}  // namespace
}  // namespace veltrane
