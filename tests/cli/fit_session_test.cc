// veltrane-ctl fit and predict: offline from files, the JSON with exact table
// values, the files and options it refuses, the prediction read back by the importer, and
// --apply against one simulated processor on the virtual clock.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonObject>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "cli/parameters.h"
#include "cli/session.h"
#include "model/image_codec.h"
#include "model/tables.h"
#include "sim/simulator.h"
#include "tuning/eq_fit.h"
#include "tuning/measurement.h"
#include "tuning/prediction.h"
#include "tuning/synthetic_room.h"
#include "virtual_ctl.h"

namespace veltrane {
namespace {

namespace fs = std::filesystem;

class SimEnvironment : public VirtualCtlEnvironment<Simulator> {
 public:
  explicit SimEnvironment(const ParameterModel& live = {}) : VirtualCtlEnvironment("sim") {
    const std::vector<std::uint8_t> bytes = ImageDataBytes(EncodeParameterImage(live));
    SimImage image{};
    std::copy(bytes.begin(), bytes.end(), image.begin());
    Far().state().SetLiveImage(image);
  }
};

CtlRun Offline(std::vector<std::string> args) {
  SimEnvironment env;
  return RunVirtualCtl<CtlSession>(env, std::move(args), 10'000, 0, /*with_port=*/false);
}

class FitCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("veltrane-fit-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    room_ = Write("room.txt", SyntheticRoom(7));
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Write(const std::string& name, const MeasuredResponse& response) {
    std::string text = "* Freq(Hz) SPL(dB)\n";
    char line[64];
    for (const MeasuredPoint& p : response.points) {
      std::snprintf(line, sizeof line, "%.6f %.6f\n", p.hz, p.level_db);
      text += line;
    }
    return WriteText(name, text);
  }
  std::string WriteText(const std::string& name, const std::string& text) {
    const fs::path path = dir_ / name;
    std::ofstream(path) << text;
    return path.string();
  }
  // The measurement as the command reads it: the file, variable smoothing.
  MeasuredResponse Measured(const std::string& path) {
    std::ifstream in(path);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    return Smooth(ReadMeasurementText(text).curves.front(), {SmoothingKind::kVariable, 1});
  }

  fs::path dir_;
  std::string room_;
};

bool InTable(std::span<const double> table, double value) {
  return std::find(table.begin(), table.end(), value) != table.end();
}

TEST_F(FitCommandTest, FitsOfflineWithExactTableValuesAsTheDirectFitDoes) {
  const CtlRun r = Offline({"fit", "out1", room_});
  ASSERT_EQ(r.code, 0) << r.err;
  const QJsonObject& j = r.json;
  EXPECT_EQ(j["channel"].toString(), "out1");
  EXPECT_EQ(j["range_hz"].toArray(), QJsonArray({20, 500}));
  const QJsonArray bands = j["bands"].toArray();
  ASSERT_EQ(bands.size(), kBandsPerChannel);

  FitSettings settings;
  const FitResult direct =
      FitEq(MakeFitProblem(ParameterModel{}, kOut1, Measured(room_), {}, settings), settings);
  EXPECT_DOUBLE_EQ(j["rms_before_db"].toDouble(), std::round(direct.rms_before_db * 100) / 100);
  EXPECT_DOUBLE_EQ(j["rms_after_db"].toDouble(), std::round(direct.rms_after_db * 100) / 100);
  EXPECT_LT(j["rms_after_db"].toDouble(), j["rms_before_db"].toDouble());
  for (int n = 0; n < kBandsPerChannel; ++n) {
    const QJsonObject b = bands[n].toObject();
    SCOPED_TRACE(n);
    EXPECT_EQ(b["band"].toInt(), n + 1);
    EXPECT_TRUE(InTable(kFreqTable, b["freq_hz"].toDouble()));
    EXPECT_TRUE(InTable(kEqGainTable, b["gain_db"].toDouble()));
    EXPECT_TRUE(InTable(kQTable, b["q"].toDouble()));
    const BandParams& d = direct.bands[n];
    EXPECT_EQ(b["type"].toString(), d.type == kPeaking ? "PEQ" : d.type == kLowShelf ? "LS" : "HS");
    EXPECT_EQ(b["freq_hz"].toDouble(), kFreqTable[d.freq]);
    EXPECT_EQ(b["gain_db"].toDouble(), kEqGainTable[d.ActiveGain()]);
  }
  EXPECT_FALSE(j.contains("output"));
}

TEST_F(FitCommandTest, OptionsReachTheFit) {
  const CtlRun r = Offline({"fit", "out3", room_, "--range", "20-20000", "--max-boost", "0",
                            "--no-shelves", "--bands", "1-4", "--tilt", "-0.5"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.json["range_hz"].toArray(), QJsonArray({20, 20000}));
  std::array<BandParams, kBandsPerChannel> bands{};
  const QJsonArray list = r.json["bands"].toArray();
  for (int n = 0; n < kBandsPerChannel; ++n) {
    const QJsonObject b = list[n].toObject();
    EXPECT_EQ(b["type"].toString(), "PEQ");
    bands[n].freq = static_cast<std::uint8_t>(NearestFreqIndex(b["freq_hz"].toDouble()));
    bands[n].peak_gain = static_cast<std::uint16_t>(NearestEqGainIndex(b["gain_db"].toDouble()));
    bands[n].q = static_cast<std::uint8_t>(NearestQIndex(b["q"].toDouble()));
    if (n >= 4) {
      EXPECT_EQ(bands[n], DefaultBand(n)) << "band " << n + 1 << " is not free";
    }
  }
  // No boost anywhere: the summed EQ stays at or below 0 dB.
  const std::vector<double> grid = FitGrid(20, 20000);
  std::vector<double> sum(grid.size(), 0.0);
  for (const BandParams& b : bands) {
    const std::vector<double> level = BandLevelsDb(b, grid);
    for (std::size_t i = 0; i < grid.size(); ++i) sum[i] += level[i];
  }
  EXPECT_LE(*std::max_element(sum.begin(), sum.end()), 1e-9);
}

TEST_F(FitCommandTest, RefusesBadFilesAndOptionsBeforeAnythingElse) {
  const std::string descending = WriteText("down.txt", "20 80\n30 81\n25 82\n40 80\n");
  const std::string narrow = Write("narrow.txt", SyntheticRoom(3, {.low_hz = 100}));
  struct Case {
    std::vector<std::string> args;
    std::string says;
  };
  const std::vector<Case> cases = {
      {{"fit", "out1", descending}, "line 3"},
      {{"fit", "out1", (dir_ / "missing.txt").string()}, "missing.txt"},
      {{"fit", "out1", narrow}, "must lie within it"},
      {{"fit", "out1", room_, "--tilt", "1", "--house", "6@100"}, "give one of"},
      {{"fit", "out1", room_, "--house", "6"}, "--house needs DB@HZ"},
      {{"fit", "out1", room_, "--bands", "0-3"}, "--bands needs"},
      {{"fit", "out1", room_, "--range", "500-20"}, "--range needs LOW-HIGH"},
      {{"fit", "side", room_}, "the channel is"},
      {{"predict", "out1", descending, (dir_ / "p.txt").string()}, "line 3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    const CtlRun r = Offline(c.args);
    EXPECT_EQ(r.code, kExitUsage);
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_FALSE(r.json["ok"].toBool());
  }
  EXPECT_FALSE(fs::exists(dir_ / "p.txt"));
}

TEST_F(FitCommandTest, PredictionIsAMeasurementFileOfTheFittedResponse) {
  const std::string out = (dir_ / "predicted.txt").string();
  const CtlRun r = Offline({"predict", "out1", room_, out, "--fitted"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.json["file"].toString().toStdString(), out);

  std::ifstream in(out);
  const MeasurementRead read =
      ReadMeasurementText(std::string((std::istreambuf_iterator<char>(in)), {}));
  ASSERT_FALSE(read.problem) << read.problem->message;
  ASSERT_EQ(read.curves.size(), 1u);
  const MeasuredResponse measured = Measured(room_);
  FitSettings settings;
  const FitResult fit =
      FitEq(MakeFitProblem(ParameterModel{}, kOut1, measured, {}, settings), settings);
  ParameterModel fitted;
  for (int n = 0; n < kBandsPerChannel; ++n) fitted.bands[BandId(kOut1, n)] = fit.bands[n];
  std::vector<double> hz;
  for (const MeasuredPoint& p : read.curves[0].points) hz.push_back(p.hz);
  const std::vector<double> expected = PredictedLevels(fitted, kOut1, measured, hz);
  ASSERT_EQ(hz.size(), measured.points.size());
  for (std::size_t i = 0; i < hz.size(); ++i) {
    ASSERT_NEAR(read.curves[0].points[i].level_db, expected[i], 0.001) << hz[i] << " Hz";
  }
}

TEST_F(FitCommandTest, ApplyWritesTheFreeBandsKeepsTheOthersAndReadsThemBack) {
  ParameterModel live;
  BandParams& kept = live.bands[BandId(kOut2, 6)];
  kept.freq = 60;
  kept.peak_gain = 100;  // -4 dB at band 7, kept and counted
  kept.q = 20;
  SimEnvironment env(live);
  const CtlRun r =
      RunVirtualCtl<CtlSession>(env, {"fit", "out2", room_, "--bands", "1-6", "--apply"}, 600'000,
                                2000);
  ASSERT_EQ(r.code, 0) << r.err;
  const ParameterModel after = env.Far().LiveModel();
  const QJsonArray bands = r.json["bands"].toArray();
  for (int n = 0; n < kBandsPerChannel; ++n) {
    const QJsonObject b = bands[n].toObject();
    const BandParams& band = after.bands[BandId(kOut2, n)];
    SCOPED_TRACE(n);
    EXPECT_EQ(kFreqTable[band.freq], b["freq_hz"].toDouble());
    EXPECT_EQ(kEqGainTable[band.ActiveGain()], b["gain_db"].toDouble());
    EXPECT_EQ(kQTable[band.q], b["q"].toDouble());
  }
  EXPECT_EQ(after.bands[BandId(kOut2, 6)], kept);
  EXPECT_EQ(after.channels, live.channels);
  // Nothing but out2's bands changed.
  ParameterModel others = after;
  for (int n = 0; n < kBandsPerChannel; ++n) others.bands[BandId(kOut2, n)] = live.bands[BandId(kOut2, n)];
  EXPECT_EQ(others, live);
}

}  // namespace
}  // namespace veltrane
