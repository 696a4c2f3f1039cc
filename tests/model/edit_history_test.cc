// The edit history on its own: steps of mixed edits undone and redone byte-exact, gestures
// as one step, the bound, what undo sends, and copying between channels.

#include "model/edit_history.h"

#include <gtest/gtest.h>

#include <vector>

#include "model/channel_copy.h"
#include "model/image_codec.h"

namespace veltrane {
namespace {

class RecordingSink : public SlotSink {
 public:
  bool AcceptsFrames() const override { return accepts; }
  std::uint8_t DeviceId() const override { return 1; }
  void QueueSlotFrame(int slot, const WriteFrame& frame) override {
    slots.push_back(slot);
    frames.push_back(frame);
  }
  bool accepts = true;
  std::vector<int> slots;
  std::vector<WriteFrame> frames;
};

class RecordingView : public EditView {
 public:
  void ShowBlocks(const BlockSet& blocks) override { shown.push_back(blocks); }
  std::vector<BlockSet> shown;
};

// One edit the way a control makes it: inside BeginEdit / EndEdit.
template <typename Fn>
void Edit(EditHistory& history, Fn change) {
  EditHistory::Scope edit(&history);
  change();
}

BlockSet Slots(std::initializer_list<int> slots) {
  BlockSet set;
  for (int slot : slots) set.set(slot - 1);
  return set;
}

TEST(EditHistory, MixedEditsUndoToTheStartAndRedoToTheEndByteExact) {
  ParameterModel model;
  model.bands[20].type = kLowShelf;
  EditHistory history(model);
  RecordingSink sink;
  RecordingView view;
  history.SetOutlets(&sink, &view);
  const std::string start = EncodeParameterImage(model);

  Edit(history, [&] { model.bands[17].freq = 90; });           // a typed frequency
  Edit(history, [&] { model.channels[kInA].mute = 1; });       // a strip button
  Edit(history, [&] { model.bands[20].ActiveGain() = 150; });  // a shelf gain step
  Edit(history, [&] { model.channels[kOut2].lp_type = 7; });   // a crossover list
  Edit(history, [&] { model.Output(kOut3).limiter_ratio = 4; });
  {
    // A slider gesture: every value inside it is an edit of its own handler.
    EditHistory::Scope gesture(&history);
    for (int d = 1; d <= 30; ++d) Edit(history, [&] { model.channels[kOut1].delay = d * 10; });
  }
  history.Apply([](ParameterModel& m) { CopyChannelParts(m, kOut1, kOut2, {.eq = true}); });
  Edit(history, [&] {  // a Reset: all eight bands, then their frames
    for (int b = 0; b < kBandsPerChannel; ++b) model.bands[BandId(kOut1, b)] = DefaultBand(b);
  });
  Edit(history, [&] { model.panel_locked = 1; });  // the lock is not an edit
  const std::string end = EncodeParameterImage(model);
  ASSERT_EQ(history.UndoCount(), 8u);

  int undos = 0;
  while (history.Undo()) ++undos;
  EXPECT_EQ(undos, 8);
  EXPECT_EQ(EncodeParameterImage(model), start);
  EXPECT_EQ(model.panel_locked, 1);
  EXPECT_EQ(history.RedoCount(), 8u);

  int redos = 0;
  while (history.Redo()) ++redos;
  EXPECT_EQ(redos, 8);
  EXPECT_EQ(EncodeParameterImage(model), end);
  EXPECT_EQ(history.UndoCount(), 8u);
  EXPECT_FALSE(history.Redo());
}

TEST(EditHistory, UndoAndRedoSendAndShowExactlyTheBlocksThatChanged) {
  ParameterModel model;
  EditHistory history(model);
  RecordingSink sink;
  RecordingView view;
  history.SetOutlets(&sink, &view);
  // A copy of Out 1 to Out 2 and Out 3 that differ in their crossover only where it was set.
  model.channels[kOut1].hp_freq = 40;
  model.bands[BandId(kOut1, 6)].q = 30;
  model.channels[kOut3].hp_freq = 40;
  history.Clear();
  const BlockSet copied = history.Apply([](ParameterModel& m) {
    CopyChannelParts(m, kOut1, kOut2, {.eq = true, .crossover = true});
    CopyChannelParts(m, kOut1, kOut3, {.eq = true, .crossover = true});
  });
  // Out 2 crossover (slot 9), Out 2 band 7 (17 + 30), Out 3 band 7 (17 + 38).
  const BlockSet expected = Slots({9, 47, 55});
  EXPECT_EQ(copied, expected);
  EXPECT_EQ(sink.slots, (std::vector<int>{9, 47, 55}));
  ASSERT_EQ(view.shown.size(), 1u);

  sink.slots.clear();
  ASSERT_TRUE(history.Undo());
  EXPECT_EQ(sink.slots, (std::vector<int>{9, 47, 55}));
  EXPECT_EQ(view.shown.back(), expected);
  EXPECT_EQ(model.channels[kOut2].hp_freq, 0);
  // The frames carry the restored blocks: Out 2 (object 3), block 9, Q back to 4.
  ASSERT_EQ(sink.frames.size(), 6u);
  EXPECT_EQ(sink.frames[4][6], 3);
  EXPECT_EQ(sink.frames[4][7], 9);
  EXPECT_EQ(sink.frames[4][16], 4);

  // Disconnected, the builders build nothing, but the editor still changes.
  sink.accepts = false;
  sink.slots.clear();
  ASSERT_TRUE(history.Redo());
  EXPECT_TRUE(sink.slots.empty());
  EXPECT_EQ(model.channels[kOut2].hp_freq, 40);
  EXPECT_EQ(view.shown.back(), expected);
}

TEST(EditHistory, AGestureIsOneStepAndUnchangedEditsAreNone) {
  ParameterModel model;
  EditHistory history(model);
  const ParameterModel start = model;

  // A drag: mouse down, 50 moves (each its own nested edit), mouse up.
  history.BeginEdit();
  for (int move = 0; move < 50; ++move) {
    Edit(history, [&] {
      model.bands[3].freq = static_cast<std::uint8_t>(100 + move);
      model.bands[3].peak_gain = static_cast<std::uint16_t>(60 + move);
    });
  }
  EXPECT_EQ(history.UndoCount(), 0u);
  history.EndEdit();
  EXPECT_EQ(history.UndoCount(), 1u);

  // A step button at the end of its range, a click back on the same list item.
  Edit(history, [] {});
  Edit(history, [&] { model.bands[3].type = kPeaking; });
  EXPECT_EQ(history.UndoCount(), 1u);

  ASSERT_TRUE(history.Undo());
  EXPECT_EQ(model, start);
  EXPECT_FALSE(history.Undo());
}

TEST(EditHistory, UndoInTheMiddleOfADragTakesBackTheDragSoFar) {
  ParameterModel model;
  EditHistory history(model);
  Edit(history, [&] { model.channels[kInA].gain = 100; });
  history.BeginEdit();
  model.bands[0].freq = 50;
  ASSERT_TRUE(history.Undo());
  EXPECT_EQ(model.bands[0].freq, 0);
  EXPECT_EQ(model.channels[kInA].gain, 100);
  // The rest of the drag is a step of its own when the mouse comes up.
  model.bands[0].freq = 60;
  history.EndEdit();
  EXPECT_EQ(history.UndoCount(), 2u);
  EXPECT_EQ(history.RedoCount(), 0u);  // a new edit drops what could be redone
}

TEST(EditHistory, TheBoundDropsTheOldestStep) {
  ParameterModel model;
  EditHistory history(model);
  ASSERT_EQ(EditHistory::kDefaultLimit, 500u);
  for (int i = 1; i <= 501; ++i) {
    Edit(history, [&] { model.channels[kOut1].delay = static_cast<std::uint16_t>(i); });
  }
  EXPECT_EQ(history.UndoCount(), 500u);
  while (history.Undo()) {
  }
  // The first edit can no longer be taken back.
  EXPECT_EQ(model.channels[kOut1].delay, 1);
}

TEST(EditHistory, ClearMakesTheModelTheNewStart) {
  ParameterModel model;
  EditHistory history(model);
  Edit(history, [&] { model.bands[9].q = 9; });
  ASSERT_TRUE(history.Undo());
  model = ParameterModel{};
  model.bands[9].q = 77;  // an image
  history.Clear();
  EXPECT_FALSE(history.Undo());
  EXPECT_FALSE(history.Redo());
  EXPECT_EQ(model.bands[9].q, 77);
}

TEST(ChannelCopy, CopiesOnlyTheChosenPartsAndTheLimiterBetweenOutputs) {
  ParameterModel model;
  ChannelParams& source = model.channels[kOut1];
  source = {.mute = 1,
            .polarity = 1,
            .gain = 90,
            .delay = 333,
            .eq_bypass = 1,
            .hp_freq = 30,
            .hp_type = 4,
            .lp_freq = 200,
            .lp_type = 10};
  model.Output(kOut1) = {.route = 2,
                         .limiter_threshold = 7,
                         .limiter_attack = 8,
                         .limiter_release = 3,
                         .limiter_ratio = 6};
  for (int b = 0; b < kBandsPerChannel; ++b)
    model.bands[BandId(kOut1, b)].q = static_cast<std::uint8_t>(20 + b);

  struct Case {
    int to;
    CopyParts parts;
  };
  for (const Case& c :
       {Case{kOut2, {.eq = true}}, Case{kOut3, {.crossover = true, .gain_delay = true}},
        Case{kOut2, {.limiter = true}}, Case{kInA, {.gain_delay = true}}}) {
    ParameterModel m = model;
    CopyChannelParts(m, kOut1, c.to, c.parts);
    const ChannelParams& to = m.channels[c.to];
    const ChannelParams& before = model.channels[c.to];
    SCOPED_TRACE(testing::Message() << "to " << c.to);
    EXPECT_EQ(to.eq_bypass, c.parts.eq ? 1 : before.eq_bypass);
    EXPECT_EQ(m.bands[BandId(c.to, 5)].q, c.parts.eq ? 25 : model.bands[BandId(c.to, 5)].q);
    EXPECT_EQ(to.hp_type, c.parts.crossover ? 4 : before.hp_type);
    EXPECT_EQ(to.lp_freq, c.parts.crossover ? 200 : before.lp_freq);
    EXPECT_EQ(to.delay, c.parts.gain_delay ? 333 : before.delay);
    EXPECT_EQ(to.gain, c.parts.gain_delay ? 90 : before.gain);
    // Mute, polarity and route are never copied.
    EXPECT_EQ(to.mute, before.mute);
    EXPECT_EQ(to.polarity, before.polarity);
    if (IsOutput(c.to)) {
      EXPECT_EQ(m.Output(c.to).route, model.Output(c.to).route);
      EXPECT_EQ(m.Output(c.to).limiter_ratio,
                c.parts.limiter ? 6 : model.Output(c.to).limiter_ratio);
    }
  }
  // An input has no limiter: nothing at all changes.
  ParameterModel m = model;
  CopyChannelParts(m, kOut1, kInA, {.limiter = true});
  EXPECT_EQ(m, model);
}

}  // namespace
}  // namespace veltrane
