#include "response/alignment.h"

#include <gtest/gtest.h>

#include <cmath>

#include "model/tables.h"

namespace veltrane {
namespace {

// The upper output high-passed and the lower one low-passed at the same frequency index,
// both fed from input A.
ParameterModel Pair(int upper, int lower, int type, int freq_index) {
  ParameterModel m;
  m.channels[upper].hp_type = m.channels[lower].lp_type = static_cast<std::uint8_t>(type);
  m.channels[upper].hp_freq = m.channels[lower].lp_freq = static_cast<std::uint8_t>(freq_index);
  m.Output(upper).route = m.Output(lower).route = 1;
  return m;
}

struct AlignCase {
  const char* name;
  int first;
  int second;
  int type;
  int freq_index;
  int first_delay;  // as set before the search
  int second_delay;
  int first_polarity;
  int input_b_delay;  // > 0: the first output is fed from input B, delayed so
  // Expected suggestion.
  int want_second_polarity;
  std::array<int, 2> want_delay;
  double min_before_db;
};

// The search starts from no delay on either output: a delay the model holds is part of
// what it judges, not a fixed offset. A lateness it cannot change, here an input's, is.
TEST(AlignmentTest, FindsThePolarityAndDelayThatUndoTheDamage) {
  const AlignCase cases[] = {
      {"12 dB LR in phase: invert the second", kOut1, kOut2, 1, 160, 0, 0, 0, 0, 1, {0, 0}, 20},
      {"24 dB LR with M_OUT late: take the delay off",
       kOut1,
       kOut2,
       7,
       160,
       0,
       14,
       0,
       0,
       0,
       {0, 0},
       3},
      {"24 dB LR, H_OUT fed late: delay M_OUT as much",
       kOut1,
       kOut2,
       7,
       160,
       0,
       0,
       0,
       14,
       0,
       {0, 14},
       3},
      {"asked low output first: the same answer",
       kOut2,
       kOut1,
       7,
       100,
       0,
       0,
       0,
       11,
       0,
       {11, 0},
       0.2},
      {"first inverted stays inverted; the second follows",
       kOut2,
       kOut3,
       7,
       100,
       0,
       0,
       1,
       0,
       1,
       {0, 0},
       20},
      {"both delayed alike: only the difference matters",
       kOut2,
       kOut3,
       1,
       100,
       300,
       300,
       0,
       0,
       1,
       {0, 0},
       20},
  };
  for (const AlignCase& c : cases) {
    SCOPED_TRACE(c.name);
    const bool first_upper = c.first < c.second;
    ParameterModel m = first_upper ? Pair(c.first, c.second, c.type, c.freq_index)
                                   : Pair(c.second, c.first, c.type, c.freq_index);
    m.channels[c.first].delay = static_cast<std::uint16_t>(c.first_delay);
    m.channels[c.second].delay = static_cast<std::uint16_t>(c.second_delay);
    m.channels[c.first].polarity = static_cast<std::uint8_t>(c.first_polarity);
    const int upper = first_upper ? c.first : c.second;
    if (c.input_b_delay > 0) {
      m.Output(upper).route = 2;
      m.channels[kInB].delay = static_cast<std::uint16_t>(c.input_b_delay);
    }
    const AlignmentResult r = SuggestAlignment(m, c.first, c.second);
    ASSERT_TRUE(r.suggestion);
    const AlignmentSuggestion& s = *r.suggestion;
    EXPECT_EQ(s.outputs, (std::array{c.first, c.second}));
    EXPECT_NEAR(s.crossover_hz, kFreqTable[c.freq_index], kFreqTable[c.freq_index] * 0.01);
    EXPECT_EQ(s.polarity, (std::array{c.first_polarity, c.want_second_polarity}));
    EXPECT_EQ(s.delay_steps, c.want_delay);
    EXPECT_GT(s.flatness_before_db, c.min_before_db);
    EXPECT_LT(s.flatness_after_db, 0.1);
    // The figure reported is the figure of the model with the suggestion applied.
    const ParameterModel after = WithAlignment(m, s);
    const std::array pair{c.first, c.second};
    EXPECT_NEAR(FlatnessDb(SumOfOutputs(after, pair, CrossoverOctave(s.crossover_hz))),
                s.flatness_after_db, 1e-6);
  }
}

TEST(AlignmentTest, CrossoverPointIsWhereTheLevelsCross) {
  // H_OUT from 2 kHz, M_OUT up to 1 kHz, M_OUT 6 dB louder: the point moves up from the
  // middle (1414 Hz), where the levels would cross at equal gain.
  ParameterModel m = Pair(kOut1, kOut2, 7, 160);
  m.channels[kOut2].lp_freq = 136;
  const std::optional<double> equal = CrossoverPointHz(m, kOut1, kOut2);
  ASSERT_TRUE(equal);
  EXPECT_NEAR(*equal, 1414, 30);
  m.channels[kOut2].gain = 180;
  const std::optional<double> louder = CrossoverPointHz(m, kOut2, kOut1);
  ASSERT_TRUE(louder);
  EXPECT_GT(*louder, *equal * 1.1);
  const std::array<int, 2> pair{kOut1, kOut2};
  const double hz[] = {*louder};
  const ComplexPoint h = ComputeOutputCurves(m, pair, FrequencyGrid(hz)).each[0][0];
  const ComplexPoint l = ComputeOutputCurves(m, pair, FrequencyGrid(hz)).each[1][0];
  EXPECT_NEAR(LevelDb(h), LevelDb(l), 1e-6);
}

TEST(AlignmentTest, RefusesWhatHasNoCrossover) {
  const ParameterModel two_way = Pair(kOut1, kOut2, 7, 160);
  ParameterModel muted = two_way;
  muted.channels[kOut2].mute = 1;
  ParameterModel unrouted = two_way;
  unrouted.Output(kOut1).route = 0;
  ParameterModel input_muted = two_way;
  input_muted.channels[kInA].mute = 1;
  ParameterModel full_range = two_way;
  full_range.channels[kOut1].hp_freq = 0;
  full_range.channels[kOut2].lp_freq = kFreqIndexMax;
  struct Case {
    const char* name;
    const ParameterModel* model;
    int first, second;
    AlignmentError error;
  };
  const Case cases[] = {
      {"same output twice", &two_way, kOut1, kOut1, AlignmentError::kNotTwoOutputs},
      {"an input", &two_way, kInA, kOut2, AlignmentError::kNotTwoOutputs},
      {"out of range", &two_way, kOut1, 9, AlignmentError::kNotTwoOutputs},
      {"muted", &muted, kOut1, kOut2, AlignmentError::kSilent},
      {"route OFF", &unrouted, kOut1, kOut2, AlignmentError::kSilent},
      {"input muted", &input_muted, kOut1, kOut2, AlignmentError::kSilent},
      {"both full range", &full_range, kOut1, kOut2, AlignmentError::kNoCrossover},
  };
  for (const Case& c : cases) {
    const AlignmentResult r = SuggestAlignment(*c.model, c.first, c.second);
    EXPECT_FALSE(r.suggestion) << c.name;
    EXPECT_EQ(r.error, c.error) << c.name;
  }
}

}  // namespace
}  // namespace veltrane
