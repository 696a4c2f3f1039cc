#include "tuning/tuning_session.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace veltrane {
namespace {

void ExpectSameResponse(const MeasuredResponse& got, const MeasuredResponse& want) {
  EXPECT_EQ(got.has_phase, want.has_phase);
  ASSERT_EQ(got.points.size(), want.points.size());
  for (std::size_t i = 0; i < got.points.size(); ++i) {
    // Exactly: the text holds the shortest form that reads back as the same double.
    EXPECT_EQ(got.points[i].hz, want.points[i].hz) << i;
    EXPECT_EQ(got.points[i].level_db, want.points[i].level_db) << i;
    EXPECT_EQ(got.points[i].phase_deg, want.points[i].phase_deg) << i;
  }
}

TuningSession Example() {
  TuningSession session;
  ChannelMeasurement h_out;
  h_out.sources = {"/home/me/seat 1.txt", "C:\\meas\\\"seat\" 2\n.txt", "Messung Größe.txt"};
  h_out.smoothing = {SmoothingKind::kFractionalOctave, 24};
  h_out.averaged.has_phase = true;
  for (int i = 0; i < 200; ++i) {
    const double hz = 20 * std::exp2(i / 96.0);
    h_out.averaged.points.push_back({hz, 85 + std::sin(i * 0.1) / 3, -hz * 0.001 - 1e-7});
  }
  session.channels[kOut1] = h_out;
  ChannelMeasurement in;
  in.sources = {"in.frd"};
  in.smoothing = {SmoothingKind::kVariable, 6};
  in.averaged.points = {{0.37, -59.765, 0}, {16383 * 0.37, 1e-300, 0}};
  session.channels[kInA] = in;
  session.target.kind = TargetKind::kFile;
  session.target.tilt_db_per_octave = -0.5;
  session.target.house_db = 6.2;
  session.target.house_hz = 80;
  session.target.file.points = {{20, 3.3333333333333335, 0}, {20000, -0.1, 0}};
  return session;
}

TEST(TuningSessionTest, PathSitsBesideThePresetFile) {
  EXPECT_EQ(TuningSessionPath("/a/b/show.txt"), "/a/b/show.txt.measurements.json");
}

TEST(TuningSessionTest, WritesAndReadsBackExactly) {
  const TuningSession empty;
  const TuningSession example = Example();
  for (const TuningSession* session : {&empty, &example}) {
    const std::string text = WriteTuningSession(*session);
    const TuningSessionRead read = ReadTuningSession(text);
    ASSERT_TRUE(read.session) << read.error << "\n" << text;
    for (int channel = 0; channel < kChannelCount; ++channel) {
      SCOPED_TRACE(channel);
      ASSERT_EQ(read.session->channels[channel].has_value(),
                session->channels[channel].has_value());
      if (!session->channels[channel]) continue;
      const ChannelMeasurement& got = *read.session->channels[channel];
      const ChannelMeasurement& want = *session->channels[channel];
      EXPECT_EQ(got.sources, want.sources);
      EXPECT_EQ(got.smoothing, want.smoothing);
      ExpectSameResponse(got.averaged, want.averaged);
    }
    const TargetSpec& target = read.session->target;
    EXPECT_EQ(target.kind, session->target.kind);
    EXPECT_EQ(target.tilt_db_per_octave, session->target.tilt_db_per_octave);
    EXPECT_EQ(target.house_db, session->target.house_db);
    EXPECT_EQ(target.house_hz, session->target.house_hz);
    ExpectSameResponse(target.file, session->target.file);
    EXPECT_EQ(WriteTuningSession(*read.session), text);
  }
}

// A file of ours with one thing spoilt at a time.
TEST(TuningSessionTest, RefusesBadTextsSayingWhere) {
  const std::string good = R"({"format": "veltrane-measurements", "version": 1,
 "target": {"kind": "flat", "tilt_db_per_octave": 0, "house_db": 0, "house_hz": 0,
            "file": {"has_phase": false, "points": []}},
 "channels": [{"channel": "out1", "sources": ["a.txt"],
               "smoothing": {"kind": "none", "fraction": 6},
               "has_phase": false, "points": [[20, 80], [40, 81]]}]})";
  ASSERT_TRUE(ReadTuningSession(good).session) << ReadTuningSession(good).error;
  struct Case {
    const char* from;  // replaced in the good text
    const char* to;
    const char* error_has;
  };
  const Case cases[] = {
      {"\"version\": 1,", "\"version\": 1", "line 2: expected ',' or '}'"},
      {"[40, 81]]}]}", "[40, 81]]}]", "line 6: "},
      {"[40, 81]]}]}", "[40, 81]]}]} x", "after the end"},
      {"veltrane-measurements", "other-program", "not a measurements file"},
      {"\"version\": 1", "\"version\": 2", "another version (2)"},
      {"\"target\"", "\"targets\"", "\"target\" must be an object"},
      {"\"kind\": \"flat\"", "\"kind\": \"pink\"", "target: unknown kind \"pink\""},
      {"\"kind\": \"flat\"", "\"kind\": \"file\"", "target file: fewer than two points"},
      {"\"out1\"", "\"out9\"", "unknown channel \"out9\""},
      {"[[20, 80], [40, 81]]", "[[20, 80], [20, 81]]",
       "channel out1, point 2: frequencies must rise"},
      {"[[20, 80], [40, 81]]", "[[0, 80], [40, 81]]", "point 1: 0 Hz is not a frequency"},
      {"[[20, 80], [40, 81]]", "[[20, 80], [40, 81, 5]]", "point 2: expected 2 numbers"},
      {"[[20, 80], [40, 81]]", "[[20, 80], [40, \"81\"]]", "point 2: expected 2 numbers"},
      {"[[20, 80], [40, 81]]", "[[20, 80]]", "channel out1: fewer than two points"},
      {"[[20, 80], [40, 81]]", "[[20, 80], [40, 1e999]]", "number out of range"},
      {"\"fraction\": 6", "\"fraction\": 2.5", "whole number from 1 to 48"},
      {"\"fraction\": 6", "\"fraction\": 49", "whole number from 1 to 48"},
      {"\"kind\": \"none\"", "\"kind\": \"1/3\"", "unknown smoothing"},
      {"[\"a.txt\"]", "[\"a\\ud800.txt\"]", "lone high surrogate"},
      {"[\"a.txt\"]", "[\"a\t.txt\"]", "control character"},
      {"\"has_phase\": false, \"points\": [[", "\"has_phase\": 0, \"points\": [[",
       "\"has_phase\" must be true or false"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.to);
    std::string text = good;
    const std::size_t at = text.find(c.from);
    ASSERT_NE(at, std::string::npos);
    text.replace(at, std::string_view(c.from).size(), c.to);
    const TuningSessionRead read = ReadTuningSession(text);
    EXPECT_FALSE(read.session);
    EXPECT_NE(read.error.find(c.error_has), std::string::npos) << read.error;
  }
  const std::string twice = good.substr(0, good.size() - 2) + R"(, {"channel": "out1",
      "sources": [], "smoothing": {"kind": "none", "fraction": 6}, "has_phase": false,
      "points": [[20, 80], [40, 81]]}]})";
  EXPECT_NE(ReadTuningSession(twice).error.find("channel out1: comes twice"), std::string::npos);
  for (const std::string& junk : {std::string(), std::string(100000, '['), std::string("[1, 2]")}) {
    const TuningSessionRead read = ReadTuningSession(junk);
    EXPECT_FALSE(read.session);
    EXPECT_FALSE(read.error.empty());
  }
}

}  // namespace
}  // namespace veltrane
