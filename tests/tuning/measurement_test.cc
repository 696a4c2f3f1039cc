#include "tuning/measurement.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "response/complex_response.h"

namespace veltrane {
namespace {

const std::filesystem::path kMeasurements = VELTRANE_MEASUREMENTS_DIR;

std::string ReadWhole(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The level at the point nearest hz.
double LevelNear(const MeasuredResponse& r, double hz) {
  const auto nearest = std::min_element(r.points.begin(), r.points.end(), [&](auto& a, auto& b) {
    return std::abs(std::log(a.hz / hz)) < std::abs(std::log(b.hz / hz));
  });
  return nearest->level_db;
}

// The frequency of the loudest (or quietest) point between low_hz and high_hz.
double ExtremeHz(const MeasuredResponse& r, double low_hz, double high_hz, bool loudest) {
  double best_hz = 0;
  double best_db = loudest ? -1e9 : 1e9;
  for (const MeasuredPoint& p : r.points) {
    if (p.hz < low_hz || p.hz > high_hz) continue;
    if (loudest ? p.level_db > best_db : p.level_db < best_db) {
      best_db = p.level_db;
      best_hz = p.hz;
    }
  }
  return best_hz;
}

TEST(MeasurementReadTest, RealExportsReadWhole) {
  if (!std::filesystem::is_directory(kMeasurements)) {
    GTEST_SKIP() << "no real measurements at " << kMeasurements;
  }
  struct Case {
    const char* file;
    std::size_t points;
    double first_hz, last_hz;
  };
  const Case cases[] = {
      {"cabin07_car_sub_mmm_rta.txt", 1286, 4.3945, 47024.5316},
      // Its phase column is all zeros: no phase.
      {"room06_fullrange_L_loc0_roommeasure.frd", 1000, 1.0, 24000.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::filesystem::path path = kMeasurements / c.file;
    ASSERT_TRUE(std::filesystem::is_regular_file(path)) << path << " is missing";
    const MeasurementRead read = ReadMeasurementText(ReadWhole(path));
    ASSERT_FALSE(read.problem) << read.problem->message;
    ASSERT_EQ(read.curves.size(), 1u);
    const MeasuredResponse& curve = read.curves.front();
    EXPECT_EQ(curve.points.size(), c.points);
    EXPECT_DOUBLE_EQ(curve.points.front().hz, c.first_hz);
    EXPECT_DOUBLE_EQ(curve.points.back().hz, c.last_hz);
    EXPECT_FALSE(curve.has_phase);
  }
}

TEST(MeasurementReadTest, CabinModesStayVisibleAfterFineSmoothing) {
  if (!std::filesystem::is_directory(kMeasurements)) {
    GTEST_SKIP() << "no real measurements at " << kMeasurements;
  }
  const std::filesystem::path path = kMeasurements / "cabin07_car_sub_mmm_rta.txt";
  ASSERT_TRUE(std::filesystem::is_regular_file(path)) << path << " is missing";
  const MeasurementRead read = ReadMeasurementText(ReadWhole(path));
  ASSERT_EQ(read.curves.size(), 1u);
  const MeasuredResponse smoothed =
      Smooth(read.curves.front(), {SmoothingKind::kFractionalOctave, 24});
  const double peak_hz = ExtremeHz(smoothed, 30, 43, true);
  const double dip_hz = ExtremeHz(smoothed, 43, 55, false);
  EXPECT_NEAR(peak_hz, 38, 1.5);
  EXPECT_NEAR(dip_hz, 47, 1.5);
  EXPECT_GT(LevelNear(smoothed, peak_hz) - LevelNear(smoothed, dip_hz), 8);
  // Whole-octave smoothing flattens the same mode pair away.
  const MeasuredResponse wide = Smooth(read.curves.front(), {SmoothingKind::kFractionalOctave, 1});
  EXPECT_LT(LevelNear(wide, 38) - LevelNear(wide, 47), 3);
}

// text as little-endian UTF-16 with its byte order mark.
std::string Utf16(std::string_view text) {
  std::string out = "\xFF\xFE";
  for (const char c : text) {
    out.push_back(c);
    out.push_back('\0');
  }
  return out;
}

struct Expected {
  std::size_t curves;
  std::size_t points;  // of the first curve
  double first_hz, first_db, last_hz;
  bool has_phase;
  std::size_t second_points = 0;  // of the second curve, when there is one
};

TEST(MeasurementReadTest, ReadsTheFormatsOfMeasurementPrograms) {
  struct Case {
    const char* name;
    std::string text;
    Expected want;
  };
  const Case cases[] = {
      {"star comments and a phase column",
       "* Measurement data\n* Freq(Hz) SPL(dB) Phase(degrees)\n"
       "20.000 80.5 -10.0\n40 82 20\n80 83 40\n",
       {1, 3, 20, 80.5, 80, true}},
      {"hash comments, scientific numbers, a phase of zeros",
       "# Frequency Response\n# Numpoints = 2\n1.0000e+00\t-5.9765e+01\t0.0000e+00\n"
       "2.4000e+04\t-7.2708e+01\t0.0000e+00\n",
       {1, 2, 1, -59.765, 24000, false}},
      {"headers that are no comments, one holding numbers",
       "Frequency response, 1/48 octave, 96 ppo\nFreq Level\n20 80\n40 81\n",
       {1, 2, 20, 80, 40, false}},
      {"a point count and a rate before the data",
       "1000\n48000 Hz\n20 80\n40 81\n",
       {1, 2, 20, 80, 40, false}},
      {"thousands separators in tab-separated data",
       "Freq\tSPL\n999.5\t80.1\n1,034.91\t81.2\n12,000.5\t79\n",
       {1, 3, 999.5, 80.1, 12000.5, false}},
      {"comma-separated with blanks",
       "frequency, level, phase\n20, 80.5, 0\n40, 81.5, 0\n",
       {1, 2, 20, 80.5, 40, false}},
      {"decimal commas with semicolons",
       "Hz;dB\n20,5;80,25\n1.034,5;81,5\n",
       {1, 2, 20.5, 80.25, 1034.5, false}},
      {"decimal points with semicolons", "20.5;80.25\n40;81\n", {1, 2, 20.5, 80.25, 40, false}},
      {"decimal commas with blanks", "20 80,5\n40 81,5\n", {1, 2, 20, 80.5, 40, false}},
      {"quoted fields",
       "\"Freq\",\"SPL\"\n\"20\",\"80\"\n\"40\",\"81\"\n",
       {1, 2, 20, 80, 40, false}},
      {"CRLF, a byte order mark and a lone CR",
       "\xEF\xBB\xBF* x\r\n20\t80\r\n40\t81\r80\t82",
       {1, 3, 20, 80, 80, false}},
      {"UTF-16 with its byte order mark", Utf16("20\t80\n40\t81\n"), {1, 2, 20, 80, 40, false}},
      {"a 0 Hz first row is dropped", "0 -20\n20 80\n40 81\n", {1, 2, 20, 80, 40, false}},
      {"a text line after the data", "20 80\n40 81\nEnd of data\n", {1, 2, 20, 80, 40, false}},
      {"curves side by side as pairs", "20 80 20 70\n40 81 40 71\n", {2, 2, 20, 80, 40, false, 2}},
      {"six columns repeating the frequency every third are triples",
       "20 80 5 20 70 6\n40 81 5 40 71 6\n",
       {2, 2, 20, 80, 40, true, 2}},
      {"six columns repeating it every second are pairs",
       "20 80 20 70 20 60\n40 81 40 71 40 61\n",
       {3, 2, 20, 80, 40, false, 2}},
      {"a shorter curve beside a longer one",
       "20;80;25;70\n40;81;50;71\n60;82;;\n",
       {2, 3, 20, 80, 60, false, 2}},
      {"a longer curve beside a shorter one",
       "20;80;25;70\n40;81;50;71\n;;60;72\n",
       {2, 2, 20, 80, 40, false, 3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const MeasurementRead read = ReadMeasurementText(c.text);
    ASSERT_FALSE(read.problem) << read.problem->message;
    ASSERT_EQ(read.curves.size(), c.want.curves);
    const MeasuredResponse& first = read.curves.front();
    ASSERT_EQ(first.points.size(), c.want.points);
    EXPECT_DOUBLE_EQ(first.points.front().hz, c.want.first_hz);
    EXPECT_DOUBLE_EQ(first.points.front().level_db, c.want.first_db);
    EXPECT_DOUBLE_EQ(first.points.back().hz, c.want.last_hz);
    EXPECT_EQ(first.has_phase, c.want.has_phase);
    if (c.want.curves > 1) {
      EXPECT_EQ(read.curves[1].points.size(), c.want.second_points);
    }
  }
}

TEST(MeasurementReadTest, PhaseAndSecondCurveKeepTheirColumns) {
  const MeasurementRead read = ReadMeasurementText("20 80 -5 20 70 6\n40 81 -15 40 71 16\n");
  ASSERT_EQ(read.curves.size(), 2u);
  EXPECT_DOUBLE_EQ(read.curves[0].points[1].phase_deg, -15);
  EXPECT_DOUBLE_EQ(read.curves[1].points[1].level_db, 71);
  EXPECT_DOUBLE_EQ(read.curves[1].points[1].phase_deg, 16);
}

TEST(MeasurementReadTest, LinearSpacingOfALongExport) {
  std::string text = "* linear, 0.37 Hz apart\n";
  for (int i = 0; i < 16384; ++i) {
    text += std::to_string(i * 0.37) + "\t" + std::to_string(80 + (i % 7)) + "\n";
  }
  const MeasurementRead read = ReadMeasurementText(text);
  ASSERT_FALSE(read.problem) << read.problem->message;
  ASSERT_EQ(read.curves.front().points.size(), 16383u);  // without its 0 Hz row
  EXPECT_DOUBLE_EQ(read.curves.front().points.front().hz, 0.37);
  EXPECT_NEAR(read.curves.front().points.back().hz, 16383 * 0.37, 1e-6);
}

TEST(MeasurementReadTest, RefusesBadFilesWithLineAndReason) {
  struct Case {
    const char* name;
    std::string text;
    MeasurementError error;
    int line;
  };
  const Case cases[] = {
      {"empty", "", MeasurementError::kNoNumbers, 0},
      {"words only", "hello\nworld\n", MeasurementError::kNoNumbers, 0},
      {"comments only", "* 20 80\n# 40 81\n", MeasurementError::kNoNumbers, 0},
      {"columns that make no curves", "1 2 3 4 5\n6 7 8 9 10\n", MeasurementError::kNoNumbers, 0},
      {"one point", "Freq SPL\n20 80\n", MeasurementError::kTooFewPoints, 0},
      {"one point after the 0 Hz row", "0 50\n20 80\n", MeasurementError::kTooFewPoints, 0},
      {"one point in the second curve", "20 80 25 70\n40 81\n", MeasurementError::kTooFewPoints, 0},
      {"descending", "20 80\n40 81\n30 82\n", MeasurementError::kNotRising, 3},
      {"duplicate", "20 80\n40 81\n40 82\n", MeasurementError::kNotRising, 3},
      {"descending in the second curve", "20 80 20 70\n40 81 10 71\n", MeasurementError::kNotRising,
       2},
      {"NaN", "20 80\r\n40 nan\r\n", MeasurementError::kNotFinite, 2},
      {"infinity", "20 80\n40 -inf\n", MeasurementError::kNotFinite, 2},
      {"out of range", "20 80\n40 1e999\n", MeasurementError::kNotFinite, 2},
      {"a line that breaks off", "20 80 0\n40 81\n", MeasurementError::kBadLine, 2},
      {"a lone frequency", "20 80\n40\n", MeasurementError::kBadLine, 2},
      {"a level with junk", "20 80\n40 81x\n", MeasurementError::kBadLine, 2},
      {"marks that group nothing", "20 80\n40 8.1.2\n", MeasurementError::kBadLine, 2},
      {"too many columns", "20 80\n40 81 7\n", MeasurementError::kBadLine, 2},
      {"an empty level", "20;80\n40;;5\n", MeasurementError::kBadLine, 2},
      {"a negative frequency", "-20 80\n40 81\n", MeasurementError::kBadLine, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const MeasurementRead read = ReadMeasurementText(c.text);
    ASSERT_TRUE(read.problem);
    EXPECT_TRUE(read.curves.empty());
    EXPECT_EQ(read.problem->error, c.error);
    EXPECT_EQ(read.problem->line, c.line);
    EXPECT_FALSE(read.problem->message.empty());
    if (c.line > 0) {
      EXPECT_EQ(read.problem->message.rfind("line " + std::to_string(c.line) + ": ", 0), 0u);
    }
  }
}

TEST(MeasurementReadTest, MessagesSayWhatIsWrong) {
  EXPECT_EQ(ReadMeasurementText("100 1\n125 2\n120 3\n").problem->message,
            "line 3: 120 Hz does not rise above 125 Hz");
  EXPECT_EQ(ReadMeasurementText("100 1\n125 2\n125 3\n").problem->message,
            "line 3: 125 Hz comes twice; frequencies must rise from line to line");
  EXPECT_EQ(ReadMeasurementText("100 1\n125 2.5dB\n").problem->message,
            "line 2: \"2.5dB\" is not a number");
  const MeasurementProblem too_large = TooLargeMeasurementProblem();
  EXPECT_EQ(too_large.error, MeasurementError::kTooLarge);
  EXPECT_EQ(too_large.line, 0);
  EXPECT_NE(too_large.message.find("4 MB"), std::string::npos);
}

// The caller refuses such files by size first; the reader on its own must still say no (and
// one pass over the text keeps it quick).
TEST(MeasurementReadTest, RefusesTenMegabytesOfJunk) {
  constexpr std::size_t kSize = 10 * 1024 * 1024;
  std::mt19937 random(20);
  std::string bytes(kSize, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  std::string digits_and_words;
  while (digits_and_words.size() < kSize) digits_and_words += "12 ab 3,4;5\t";
  std::string after_data = "20 80\n40 81\n";
  while (after_data.size() < kSize) after_data += "123 456 789 x\n";
  const std::string one_line(kSize, 'x');
  const std::string* const junks[] = {&bytes, &digits_and_words, &after_data, &one_line};
  for (const std::string* junk : junks) {
    const MeasurementRead read = ReadMeasurementText(*junk);
    ASSERT_TRUE(read.problem);
    EXPECT_TRUE(read.curves.empty());
  }
  EXPECT_EQ(ReadMeasurementText(after_data).problem->line, 3);
}

MeasuredResponse Flat(double low_hz, double high_hz, double level_db, bool has_phase = false) {
  MeasuredResponse r;
  r.has_phase = has_phase;
  for (const double hz : LogFrequencies(low_hz, high_hz, 48)) {
    r.points.push_back({hz, level_db, has_phase ? -hz / 100 : 0});
  }
  return r;
}

TEST(MeasurementAverageTest, PowerAverageOverTheCommonRange) {
  const MeasuredResponse positions[] = {Flat(10, 20000, 80, true), Flat(20, 10000, 86, true)};
  const MeasuredResponse average = PowerAverage(positions);
  ASSERT_FALSE(average.points.empty());
  EXPECT_NEAR(average.points.front().hz, 20, 1e-9);
  EXPECT_NEAR(average.points.back().hz, positions[1].points.back().hz, 1e-9);
  // A common grid of 96 points to the octave.
  for (std::size_t i = 1; i < average.points.size(); ++i) {
    ASSERT_LE(average.points[i].hz / average.points[i - 1].hz, std::exp2(1.0 / 96) + 1e-9);
  }
  const double want = 80 + 10 * std::log10((1 + std::pow(10, 0.6)) / 2);  // 83.96 dB
  for (const MeasuredPoint& p : average.points) ASSERT_NEAR(p.level_db, want, 1e-9) << p.hz;
  EXPECT_FALSE(average.has_phase);  // two positions' phases do not average
}

// Levels no microphone gives, but a file may hold: no overflow to infinity, no log of 0.
TEST(MeasurementAverageTest, AbsurdLevelsStayFinite) {
  const MeasuredResponse loud[] = {Flat(20, 200, 4000), Flat(20, 200, 3994)};
  const double want = 3994 + 10 * std::log10((1 + std::pow(10, 0.6)) / 2);
  for (const MeasuredPoint& p : PowerAverage(loud).points) ASSERT_NEAR(p.level_db, want, 1e-9);
  MeasuredResponse deep = Flat(20, 200, -5000);
  deep.points[50].level_db = 0;
  for (const int n : {1, 48}) {
    for (const MeasuredPoint& p : Smooth(deep, {SmoothingKind::kFractionalOctave, n}).points) {
      ASSERT_TRUE(std::isfinite(p.level_db)) << p.hz;
    }
  }
}

TEST(MeasurementAverageTest, OnePositionIsItselfAndDisjointOnesGiveNothing) {
  const MeasuredResponse one[] = {Flat(20, 200, 80, true)};
  const MeasuredResponse same = PowerAverage(one);
  EXPECT_TRUE(same.has_phase);
  ASSERT_EQ(same.points.size(), one[0].points.size());
  EXPECT_DOUBLE_EQ(same.points[5].phase_deg, one[0].points[5].phase_deg);
  const MeasuredResponse apart[] = {Flat(20, 200, 80), Flat(300, 3000, 80)};
  EXPECT_TRUE(PowerAverage(apart).points.empty());
  EXPECT_TRUE(PowerAverage({}).points.empty());
}

// Flat at 80 dB every 1/96 octave from 10 Hz to 24 kHz, with one point 20 dB up at peak_hz.
MeasuredResponse OnePointPeak(double peak_hz, std::size_t* peak_index) {
  MeasuredResponse r;
  for (const double hz : LogFrequencies(10, 24000, 96)) r.points.push_back({hz, 80, 0});
  const auto at = std::min_element(r.points.begin(), r.points.end(), [&](auto& a, auto& b) {
    return std::abs(a.hz - peak_hz) < std::abs(b.hz - peak_hz);
  });
  at->level_db = 100;
  *peak_index = static_cast<std::size_t>(at - r.points.begin());
  return r;
}

// How many points on each side of a one-point peak are raised by the smoothing.
int RaisedReach(const MeasuredResponse& smoothed, std::size_t peak) {
  int reach = 0;
  while (peak + reach + 1 < smoothed.points.size() &&
         smoothed.points[peak + reach + 1].level_db > 80 + 1e-9) {
    ++reach;
  }
  return reach;
}

TEST(MeasurementSmoothingTest, FlatStaysFlatAndAPeakWidensByTheWindow) {
  for (const int n : {1, 2, 3, 6, 12, 24, 48}) {
    SCOPED_TRACE("1/" + std::to_string(n) + " octave");
    const Smoothing smoothing{SmoothingKind::kFractionalOctave, n};
    for (const MeasuredPoint& p : Smooth(Flat(10, 24000, 85), smoothing).points) {
      ASSERT_NEAR(p.level_db, 85, 1e-9) << p.hz;
    }
    std::size_t peak = 0;
    const MeasuredResponse smoothed = Smooth(OnePointPeak(1000, &peak), smoothing);
    // The window reaches 48/n points of 1/96 octave to either side; the last one sits on
    // its edge, where rounding decides.
    const int reach = RaisedReach(smoothed, peak);
    EXPECT_GE(reach, 48 / n - 1);
    EXPECT_LE(reach, 48 / n);
    EXPECT_LT(smoothed.points[peak].level_db, 100);
    EXPECT_GT(smoothed.points[peak].level_db, 80);
  }
}

TEST(MeasurementSmoothingTest, VariableIsNarrowLowAndWideHigh) {
  const Smoothing variable{SmoothingKind::kVariable, 0};
  for (const MeasuredPoint& p : Smooth(Flat(10, 24000, 85), variable).points) {
    ASSERT_NEAR(p.level_db, 85, 1e-9) << p.hz;
  }
  struct Case {
    double hz;
    int fraction;  // the 1/N octave the variable smoothing acts as there
  };
  for (const Case c : {Case{50, 48}, Case{1000, 12}, Case{15000, 3}}) {
    SCOPED_TRACE(c.hz);
    std::size_t peak = 0;
    const MeasuredResponse peaked = OnePointPeak(c.hz, &peak);
    const int reach = RaisedReach(Smooth(peaked, variable), peak);
    const int fixed_reach =
        RaisedReach(Smooth(peaked, {SmoothingKind::kFractionalOctave, c.fraction}), peak);
    EXPECT_NEAR(reach, fixed_reach, 1);
  }
}

TEST(MeasurementSmoothingTest, KeepsFrequenciesAndPhaseAndIsAPowerMean) {
  // Two points 1/96 octave apart fall into each other's 1/24-octave window: 80 and 90 dB
  // become their power mean, not their mean in dB.
  MeasuredResponse r{{{1000, 80, 10}, {1000 * std::exp2(1.0 / 96), 90, 20}}, true};
  const MeasuredResponse smoothed = Smooth(r, {SmoothingKind::kFractionalOctave, 24});
  const double want = 10 * std::log10((1e8 + 1e9) / 2);
  ASSERT_EQ(smoothed.points.size(), 2u);
  EXPECT_NEAR(smoothed.points[0].level_db, want, 1e-9);
  EXPECT_NEAR(smoothed.points[1].level_db, want, 1e-9);
  EXPECT_DOUBLE_EQ(smoothed.points[1].hz, r.points[1].hz);
  EXPECT_DOUBLE_EQ(smoothed.points[1].phase_deg, 20);
  EXPECT_TRUE(smoothed.has_phase);
  EXPECT_EQ(Smooth(r, {}).points[1].level_db, 90);  // none
}

TEST(MeasurementLevelsTest, InterpolatesInLogFrequencyAndHoldsTheEnds) {
  // Given out of order, as a caller may: the points are sorted first.
  const MeasuredResponse r{{{400, 12, 0}, {100, 0, 0}, {1600, 0, 0}}, false};
  const double hz[] = {50, 100, 200, 400, 800, 1600, 5000};
  const std::vector<double> levels = LevelsAt(r, hz);
  const double want[] = {0, 0, 6, 12, 6, 0, 0};
  ASSERT_EQ(levels.size(), std::size(want));
  for (std::size_t i = 0; i < levels.size(); ++i) EXPECT_NEAR(levels[i], want[i], 1e-12) << hz[i];
  EXPECT_EQ(LevelsAt({}, hz), std::vector<double>(std::size(hz), 0.0));
}

}  // namespace
}  // namespace veltrane
