// Device presets against the simulated processor on a virtual clock: storing under a
// name, recalling with its time-out, the names reply and the active preset.

#include "storage/device_presets.h"

#include "feature_harness.h"
#include "model/image_codec.h"

namespace veltrane::test {
namespace {

using DevicePresetsTest = FeatureTest;

Bytes Reply(std::uint8_t command, std::uint8_t object_code, std::span<const std::uint8_t> data) {
  return BuildFrame(0, command, 0, object_code, 0, data);
}

TEST_F(DevicePresetsTest, StoreSendsTheNameFieldAndShowsItInTheList) {
  struct Case {
    const char* name_box;
    int slot;
    std::string field;  // the name bytes before the zero fill
    const char* entry;
  };
  const Case cases[] = {
      {"", 4, "", "Pre4:"},
      {"  Kick drum \xC3\xA9  ", 3, "Kick drum \xE9", "Pre3:Kick drum \xC3\xA9"},
      {"ABCDEFGHIJKLMNOPQRS", 20, "ABCDEFGHIJKLMNOPQRS", "Pre20:ABCDEFGHIJKLMNOPQRS"},
  };
  Connect();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.entry);
    view.name_box = c.name_box;
    view.slot_position = c.slot - 1;
    view.messages.clear();
    const std::size_t mark = Mark();
    const std::int64_t clicked = clock.NowMs();
    presets->StorePreset();
    EXPECT_EQ(view.questions.back(), "KORVALD: Do you want to save this group?");

    // Sent at once, outside the send slots: 32 bytes, the name zero-filled to 20.
    const std::vector<SentFrame> sent = SentSince(mark);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].time_ms, clicked);
    Bytes field(c.field.begin(), c.field.end());
    field.resize(20, 0);
    EXPECT_EQ(sent[0].bytes, BuildFrame(0, kCmdWrite, static_cast<std::uint8_t>(c.slot),
                                        kObjStorePreset, 0, field));
    EXPECT_EQ(view.preset_entries[c.slot - 1], c.entry);
    EXPECT_EQ(view.preset_position, c.slot - 1);
    EXPECT_EQ(presets->ActivePreset(), c.slot);

    // A recall asked for during the store's wait would lose its image to a poll.
    presets->LoadPreset();
    // No poll during the 500 ms wait; the acknowledge shows the message 10 ms after it.
    clock.Advance(499);
    EXPECT_EQ(PollsSince(mark), 0);
    EXPECT_EQ(SentSince(mark).size(), 1u);
    EXPECT_EQ(view.messages, std::vector<std::string>{"Successfully save."});
    EXPECT_LE(view.message_times.back(), clicked + 20);
    clock.Advance(1000);
    EXPECT_GE(PollsSince(mark), 1);
    EXPECT_EQ(sim->PresetName(c.slot), c.field);
  }
  EXPECT_TRUE(engine->Connected());
}

TEST_F(DevicePresetsTest, NoToTheQuestionSendsNothing) {
  Connect();
  const std::vector<std::string> entries = view.preset_entries;
  view.answers = {false};
  view.name_box = "Changed";
  const std::size_t mark = Mark();
  presets->StorePreset();
  clock.Advance(1000);
  EXPECT_TRUE(SentSince(mark).empty());
  EXPECT_EQ(view.preset_entries, entries);
  EXPECT_TRUE(view.messages.empty());

  // Without a connection neither button does anything, and nothing is asked.
  Disconnect();
  view.questions.clear();
  presets->StorePreset();
  presets->LoadPreset();
  clock.Advance(1000);
  EXPECT_TRUE(view.questions.empty());
  EXPECT_TRUE(SentSince(mark).empty());
}

TEST_F(DevicePresetsTest, NamesReplyFillsTheListAndTheNameBox) {
  ProcessorState& state = sim->state();
  state.SetPreset(1, state.preset(1).image, std::string("AB\0CD", 5));
  state.SetPreset(2, state.preset(2).image, "Caf\xE9");
  state.SetPreset(3, state.preset(3).image, "");
  view.slot_position = 1;
  Connect();
  ASSERT_EQ(view.preset_entries.size(), 20u);
  EXPECT_EQ(view.preset_entries[0], "Pre1:AB");
  EXPECT_EQ(view.preset_entries[1], "Pre2:Caf\xC3\xA9");
  EXPECT_EQ(view.preset_entries[2], "Pre3:");
  EXPECT_EQ(view.preset_entries[3], "Pre4:" + sim->PresetName(4));
  EXPECT_EQ(view.name_box, "Caf\xC3\xA9");  // the selector's slot
  presets->SlotSelectorChanged(2);
  EXPECT_EQ(view.name_box, "");
  presets->SlotSelectorChanged(0);
  EXPECT_EQ(view.name_box, "AB");

  // A name typed with a letter outside ASCII is stored as one byte and read back the same.
  view.name_box = "\xC3\xA9t\xC3\xA9";
  view.slot_position = 4;
  presets->StorePreset();
  clock.Advance(600);
  EXPECT_EQ(sim->PresetName(5), "\xE9t\xE9");
  Disconnect();
  Connect();
  EXPECT_EQ(view.preset_entries[4], "Pre5:\xC3\xA9t\xC3\xA9");
}

TEST_F(DevicePresetsTest, RecallAppliesTheSlotWithTheWindowLocked) {
  Connect();
  const ParameterModel slot3 = [&] {
    ParameterModel m;
    DecodeParameterImage(EncodeHex(BuildFrame(0, kCmdData, 3, kObjImage, 0, sim->PresetImage(3))),
                         m);
    return m;
  }();
  ASSERT_NE(model, slot3);
  sim->options().late_ms = 300;  // time to see the window locked
  view.preset_position = 2;
  const int hides = view.detail_hides;
  const std::size_t mark = Mark();
  const std::int64_t clicked = clock.NowMs();
  presets->LoadPreset();
  EXPECT_EQ(view.detail_hides, hides + 1);
  clock.Advance(50);
  std::vector<SentFrame> sent = SentSince(mark);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].time_ms, clicked + 50);
  EXPECT_EQ(Spaced(sent[0].bytes), "A5 A5 A5 00 A2 03 28 00 00 00 89 AA");
  EXPECT_TRUE(view.transfer_box);
  EXPECT_FALSE(view.operation_panels_enabled);

  clock.Advance(1000);
  EXPECT_EQ(model, slot3);
  EXPECT_FALSE(view.transfer_box);
  EXPECT_TRUE(view.operation_panels_enabled);
  EXPECT_FALSE(presets->RecallPending());
  // No names request after a recall; the keep-alive poll is back.
  sent = SentSince(mark);
  EXPECT_EQ(sent.size(), 1u);
  EXPECT_GE(PollsSince(mark), 1);
  EXPECT_TRUE(view.messages.empty());
}

TEST_F(DevicePresetsTest, RecallTimesOutAfter12sAndALateImageIsAppliedAsOnConnect) {
  Connect();
  sim->options().ignore_objects = {kObjImage};
  const ParameterModel before = model;
  view.preset_position = 5;
  const std::int64_t clicked = clock.NowMs();
  const std::size_t mark = Mark();
  presets->LoadPreset();
  clock.Advance(50 + 12000 - 1);
  EXPECT_TRUE(view.messages.empty());
  EXPECT_EQ(view.transfer_progress.back(), 100);  // 20 ticks of 5 %, then the ticker stops
  clock.Advance(1);
  EXPECT_EQ(view.messages, std::vector<std::string>{"overtime\xEF\xBC\x8Ctry again."});
  EXPECT_EQ(view.message_times.back(), clicked + 12050);
  EXPECT_FALSE(view.transfer_box);
  EXPECT_TRUE(view.operation_panels_enabled);
  EXPECT_EQ(model, before);
  EXPECT_EQ(view.preset_position, 0);  // back on the active preset, Pre1
  clock.Advance(2000);
  EXPECT_EQ(view.messages.size(), 1u);  // the polls keep the connection
  EXPECT_TRUE(engine->Connected());

  // Only the recall request went out besides the polls: the time-out asks nothing again.
  EXPECT_EQ(SentSince(mark).size(), 1u);

  // The answer, when it comes, is an image nobody waits for: applied, names requested.
  sim->options().ignore_objects.clear();
  const std::size_t late = Mark();
  engine->OnBytes(BuildFrame(0, kCmdData, 6, kObjImage, 0, sim->PresetImage(6)));
  EXPECT_NE(model, before);
  const std::vector<SentFrame> sent = SentSince(late);
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(ObjectOf(sent[0].bytes), kObjPresetNames);
}

TEST_F(DevicePresetsTest, AnAcknowledgeFromAnEarlierConnectionReportsNothing) {
  Connect();
  sim->options().ignore_objects = {kObjStorePreset};  // stored, never acknowledged
  presets->StorePreset();
  clock.Advance(600);
  EXPECT_TRUE(presets->StorePending());
  Disconnect();
  EXPECT_FALSE(presets->StorePending());
  Connect();
  engine->OnBytes(Reply(kCmdAck, 0, {}));
  clock.Advance(100);
  EXPECT_TRUE(view.messages.empty());
}

TEST_F(DevicePresetsTest, SettingsReplySelectsTheActivePresetAndTheDeviceNumber) {
  struct Case {
    std::uint8_t preset, number;
    int preset_position, device_position, change_position;
  };
  const Case cases[] = {
      {0, 5, 0, 4, 4},          // preset 0 counts as 1; "5" and "05"
      {7, 1, 6, 0, 0},          //
      {20, 251, 19, 250, 250},  // the change list's empty entry
      {21, 255, -1, 254, -1},   // outside a list: nothing selected there
      {3, 0, 2, -1, -1},
  };
  Connect();
  engine->SetDeviceId(0);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << int(c.preset) << "/" << int(c.number));
    const std::array<std::uint8_t, 8> data = {c.preset, 0x11, 0x22, c.number};
    engine->OnBytes(Reply(kCmdData, kObjDeviceSettings, data));
    EXPECT_EQ(view.preset_position, c.preset_position);
    EXPECT_EQ(view.device_position, c.device_position);
    EXPECT_EQ(view.change_selected, c.change_position);
    EXPECT_EQ(engine->DeviceId(), 0);  // only the user's pick changes the address
    EXPECT_FALSE(engine->ReceivePending());
  }
  // With no connection open a settings reply selects nothing.
  Disconnect();
  const std::array<std::uint8_t, 8> data = {9, 0, 0, 9};
  engine->OnBytes(Reply(kCmdData, kObjDeviceSettings, data));
  EXPECT_EQ(view.device_position, -1);
}

}  // namespace
}  // namespace veltrane::test
