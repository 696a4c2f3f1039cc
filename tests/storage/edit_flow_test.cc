// The edit history, the channel copy and the filter list import and export with the engine
// and the simulated processor: what reaches the processor, what an image does to the
// history, and the import's file handling.

#include "feature_harness.h"
#include "model/channel_copy.h"
#include "model/edit_history.h"
#include "storage/eq_filter_file.h"
#include "storage/image_text.h"

namespace veltrane::test {
namespace {

class ScriptedImportView : public FilterImportView {
 public:
  void ConfirmFilterImport(int channel, const FilterImport& plan,
                           std::function<void(bool)> accept) override {
    channels.push_back(channel);
    plans.push_back(plan);
    accept(answer);
  }
  bool answer = true;
  std::vector<int> channels;
  std::vector<FilterImport> plans;
};

class EditFlowTest : public FeatureTest {
 protected:
  void SetUp() override {
    FeatureTest::SetUp();
    history.SetOutlets(engine.get(), nullptr);
    router->SetEditHistory(&history);
  }
  void TearDown() override { router->SetEditHistory(nullptr); }

  // One edit of a band as the band editors make it: the model, then the band's frame.
  void EditBand(int band_id, std::uint8_t freq) {
    EditHistory::Scope edit(&history);
    model.bands[band_id].freq = freq;
    SendEqBandBlock(model, band_id, *engine);
  }
  // Band frames (write command, EQ block) sent since `from`.
  std::vector<SentFrame> BandWrites(std::size_t from) const {
    std::vector<SentFrame> out;
    for (const SentFrame& f : SentSince(from)) {
      if (CommandOf(f.bytes) == kCmdWrite && f.bytes.size() == 20 && f.bytes[7] >= 2) {
        out.push_back(f);
      }
    }
    return out;
  }

  EditHistory history{model};
  ScriptedImportView import_view;
  EqFilterFile filters{model, history, view, import_view, files};
};

TEST_F(EditFlowTest, EveryParameterSetFromTheProcessorOrAFileClearsTheHistory) {
  EditBand(3, 50);  // before the connection: the image replaces it
  ASSERT_EQ(history.UndoCount(), 1u);
  Connect();
  EXPECT_EQ(history.UndoCount(), 0u);

  std::uint8_t freq = 90;
  const auto edit_then = [&](const char* what, const std::function<void()>& action,
                             std::size_t left) {
    SCOPED_TRACE(what);
    EditBand(BandId(kOut1, 2), ++freq);
    ASSERT_EQ(history.UndoCount(), 1u);
    action();
    EXPECT_EQ(history.UndoCount(), left);
    EXPECT_EQ(history.RedoCount(), 0u);
    history.Clear();
  };
  edit_then(
      "preset recall",
      [&] {
        presets->LoadPreset();
        clock.Advance(2000);
        ASSERT_FALSE(presets->RecallPending());
      },
      0);
  edit_then(
      "the processor's refresh report",
      [&] {
        sim->SendRefreshReport();
        clock.Advance(100);
      },
      0);
  // A file read back into the editor without a link.
  Disconnect();
  files.files["/pc/preset"] = EncodeParameterImage(VariedModel()) + "\r\n";
  edit_then(
      "file load",
      [&] {
        view.chosen_paths = {"/pc/preset"};
        file->LoadFile();
      },
      0);
  EXPECT_EQ(model.bands[5], VariedModel().bands[5]);
  // A refresh report with no connection open says nothing about the editor's model.
  edit_then(
      "stale refresh report",
      [&] {
        const Bytes report = BuildFrame(0, kCmdAck, 0, kObjRefresh, 0, {});
        engine->OnBytes(report);
      },
      1);
}

TEST_F(EditFlowTest, UndoSendsTheBlockWhileConnectedAndOnlyChangesTheEditorWhileNot) {
  Connect();
  const int band = BandId(kOut2, 4);
  const std::uint8_t original = model.bands[band].freq;
  EditBand(band, 200);
  clock.Advance(500);
  ASSERT_EQ(sim->LiveModel().bands[band].freq, 200);

  std::size_t mark = Mark();
  ASSERT_TRUE(history.Undo());
  clock.Advance(500);
  ASSERT_EQ(BandWrites(mark).size(), 1u);
  EXPECT_EQ(sim->LiveModel().bands[band].freq, original);
  ASSERT_TRUE(history.Redo());
  clock.Advance(500);
  EXPECT_EQ(sim->LiveModel().bands[band].freq, 200);

  Disconnect();
  mark = Mark();
  ASSERT_TRUE(history.Undo());
  clock.Advance(500);
  EXPECT_EQ(model.bands[band].freq, original);
  EXPECT_TRUE(SentSince(mark).empty());
  EXPECT_EQ(sim->LiveModel().bands[band].freq, 200);

  // The next connection shows the processor's value and starts a new history.
  Connect();
  EXPECT_EQ(model.bands[band].freq, 200);
  EXPECT_FALSE(history.Undo());
  EXPECT_FALSE(history.Redo());
}

TEST_F(EditFlowTest, ACopyToTwoChannelsIsOneStepAndSendsEveryChangedBlock) {
  Build({});  // outputs alike but for what is set here
  router->SetEditHistory(&history);
  history.SetOutlets(engine.get(), nullptr);
  Connect();
  history.Apply([](ParameterModel& m) {
    m.channels[kOut1].hp_freq = 44;
    m.bands[BandId(kOut1, 7)].peak_gain = 70;
    m.Output(kOut1).limiter_attack = 50;
  });
  clock.Advance(4000);
  history.Clear();
  const ParameterModel before = model;
  const std::size_t mark = Mark();
  history.Apply([](ParameterModel& m) {
    for (int to : {kOut2, kOut3}) {
      CopyChannelParts(m, kOut1, to, {.eq = true, .crossover = true, .limiter = true});
    }
  });
  clock.Advance(4000);  // one slot frame every half second
  const ParameterModel live = sim->LiveModel();
  for (int to : {kOut2, kOut3}) {
    EXPECT_EQ(live.channels[to].hp_freq, 44);
    EXPECT_EQ(live.bands[BandId(to, 7)].peak_gain, 70);
    EXPECT_EQ(live.Output(to).limiter_attack, 50);
  }
  // Crossover, limiter and one band of each output; nothing that did not change.
  EXPECT_EQ(SentSince(mark).size(), 6u);
  EXPECT_EQ(history.UndoCount(), 1u);
  ASSERT_TRUE(history.Undo());
  clock.Advance(4000);
  EXPECT_EQ(EncodeParameterImage(model), EncodeParameterImage(before));
  EXPECT_EQ(EncodeParameterImage(sim->LiveModel()), EncodeParameterImage(before));
}

TEST_F(EditFlowTest, ImportShowsThePlanAndAppliesItAsOneStep) {
  Connect();
  files.files["/pc/rew.txt"] =
      "Filter Settings file\n"
      "Filter 1: ON PK Fc 120 Hz Gain -4.5 dB Q 2.50\n"
      "Filter 2: ON LSC 12 dB Fc 80 Hz Gain 3 dB\n"
      "Filter 3: ON LP Fc 90 Hz\n";
  const ParameterModel before = model;
  view.chosen_paths = {"/pc/rew.txt"};
  const std::size_t mark = Mark();
  filters.Import(kOut2);
  ASSERT_EQ(view.dialogs.size(), 1u);
  EXPECT_FALSE(view.dialogs[0].save);
  ASSERT_EQ(import_view.plans.size(), 1u);
  EXPECT_EQ(import_view.channels[0], kOut2);
  EXPECT_EQ(import_view.plans[0].imported.size(), 2u);
  EXPECT_EQ(import_view.plans[0].problems.size(), 1u);
  clock.Advance(1000);

  const BandParams& first = model.bands[BandId(kOut2, 0)];
  EXPECT_EQ(first.freq, 63);
  EXPECT_EQ(first.peak_gain, 97);
  EXPECT_EQ(first.q, 11);
  EXPECT_EQ(model.bands[BandId(kOut2, 1)].type, kLowShelf);
  EXPECT_EQ(sim->LiveModel().bands[BandId(kOut2, 1)].shelf_gain, 135);
  // Bands 1 and 2 changed; 3 to 8 were flat already.
  EXPECT_EQ(BandWrites(mark).size(), 2u);
  EXPECT_EQ(history.UndoCount(), 1u);
  ASSERT_TRUE(history.Undo());
  EXPECT_EQ(model, before);

  // Cancelled, nothing happens.
  import_view.answer = false;
  view.chosen_paths = {"/pc/rew.txt"};
  filters.Import(kOut2);
  EXPECT_EQ(model, before);
  EXPECT_EQ(history.UndoCount(), 0u);
  EXPECT_TRUE(view.messages.empty());
}

TEST_F(EditFlowTest, ImportReportsFilesItCannotUse) {
  files.files["/pc/preset"] = EncodeParameterImage(ParameterModel{}) + "\r\n";
  files.files["/pc/huge.txt"] = std::string(kFilterFileMaxBytes + 1, '#');
  files.read_errors["/pc/locked.txt"] = "Permission denied";
  files.files["/pc/crossover.txt"] = "Filter 1: ON HP Fc 80 Hz\nFilter 2: ON LP Fc 90 Hz\n";
  for (const char* path : {"/pc/preset", "/pc/huge.txt", "/pc/locked.txt", "/pc/crossover.txt"}) {
    view.chosen_paths = {path};
    filters.Import(kInA);
  }
  EXPECT_TRUE(import_view.plans.empty());
  EXPECT_EQ(view.messages, (std::vector<std::string>{
                               NoFiltersMessage("/pc/preset"), NoFiltersMessage("/pc/huge.txt"),
                               CannotReadMessage("/pc/locked.txt", "Permission denied"),
                               "No filter in /pc/crossover.txt can be imported:\n"
                               "line 1: Filter 1: type HP is not a peaking or shelf filter\n"
                               "line 2: Filter 2: type LP is not a peaking or shelf filter"}));
  EXPECT_EQ(history.UndoCount(), 0u);
  filters.Import(kInA);  // cancelled
  EXPECT_EQ(view.messages.size(), 4u);
}

TEST_F(EditFlowTest, ExportWritesTheBandsAndReportsAFailedWrite) {
  model = VariedModel();
  view.chosen_paths = {"/pc/h.txt"};
  filters.Export(kOut1);
  ASSERT_EQ(view.dialogs.size(), 1u);
  EXPECT_TRUE(view.dialogs[0].save);
  EXPECT_EQ(view.dialogs[0].default_name, "H_OUT filters.txt");
  const std::string text = files.files.at("/pc/h.txt");
  EXPECT_EQ(text, WriteFilterText(std::span<const BandParams, kBandsPerChannel>(
                                      &model.bands[BandId(kOut1, 0)], kBandsPerChannel),
                                  "H_OUT", true));

  // Read back onto another channel, the bands sound the same.
  view.chosen_paths = {"/pc/h.txt"};
  filters.Import(kOut3);
  for (int b = 0; b < kBandsPerChannel; ++b) {
    const BandParams& from = model.bands[BandId(kOut1, b)];
    const BandParams& to = model.bands[BandId(kOut3, b)];
    EXPECT_EQ(to.type, from.type);
    EXPECT_EQ(to.freq, from.freq);
    EXPECT_EQ(to.ActiveGain(), from.ActiveGain());
  }

  files.write_errors["/pc/ro.txt"] = "Read-only file system";
  view.chosen_paths = {"/pc/ro.txt"};
  filters.Export(kOut1);
  EXPECT_EQ(view.messages.back(), CannotSaveMessage("/pc/ro.txt", "Read-only file system"));
}

}  // namespace
}  // namespace veltrane::test
