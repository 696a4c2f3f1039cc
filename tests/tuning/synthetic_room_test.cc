#include "tuning/synthetic_room.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace veltrane {
namespace {

std::vector<double> Levels(const MeasuredResponse& r) {
  std::vector<double> levels;
  for (const MeasuredPoint& p : r.points) levels.push_back(p.level_db);
  return levels;
}

TEST(SyntheticRoomTest, TheSeedAloneDecidesTheRoom) {
  EXPECT_EQ(Levels(SyntheticRoom(11)), Levels(SyntheticRoom(11)));
  EXPECT_NE(Levels(SyntheticRoom(11)), Levels(SyntheticRoom(12)));
}

TEST(SyntheticRoomTest, PointsFollowTheOptions) {
  SyntheticRoomOptions options;
  options.low_hz = 20;
  options.high_hz = 320;  // four octaves
  options.points_per_octave = 12;
  options.with_phase = true;
  const MeasuredResponse room = SyntheticRoom(3, options);
  ASSERT_EQ(room.points.size(), 49u);
  EXPECT_DOUBLE_EQ(room.points.front().hz, 20);
  EXPECT_NEAR(room.points.back().hz, 320, 1e-9);
  EXPECT_TRUE(room.has_phase);
  EXPECT_TRUE(std::any_of(room.points.begin(), room.points.end(),
                          [](const MeasuredPoint& p) { return p.phase_deg != 0; }));
  EXPECT_FALSE(SyntheticRoom(3).has_phase);
}

// What the fitter is tested on must be there in every room: the speaker's roll-off at the
// bottom, and narrow modes that stand out of their surroundings by several dB.
TEST(SyntheticRoomTest, EveryRoomHasARollOffAndNarrowModes) {
  for (std::uint32_t seed = 0; seed < 20; ++seed) {
    const MeasuredResponse room = SyntheticRoom(seed);
    const std::vector<double> levels = Levels(room);
    const double median = [&] {
      std::vector<double> sorted = levels;
      std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
      return sorted[sorted.size() / 2];
    }();
    EXPECT_NEAR(median, 85, 8) << "room " << seed;
    EXPECT_LT(levels.front(), median - 10) << "room " << seed;  // 10 Hz, far below the corner
    // A mode: a level more than 3 dB away from the mean of the half octave around it.
    double largest = 0;
    for (std::size_t i = 48; i + 48 < room.points.size(); ++i) {
      if (room.points[i].hz < 28 || room.points[i].hz > 350) continue;
      const double around =
          std::accumulate(levels.begin() + i - 24, levels.begin() + i + 25, 0.0) / 49;
      largest = std::max(largest, std::abs(levels[i] - around));
    }
    EXPECT_GT(largest, 3) << "room " << seed;
  }
}

}  // namespace
}  // namespace veltrane
