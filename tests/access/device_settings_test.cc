// The device-number change against the simulated processor: the write goes to the old
// address, everything after it to the new one, and the processor keeps answering.

#include "access/device_settings.h"

#include <functional>
#include <utility>
#include <vector>

#include "feature_harness.h"

namespace veltrane::test {
namespace {

class DeviceSettingsTest : public FeatureTest {
 protected:
  std::vector<SentFrame> SettingsWrites(std::size_t from) const {
    std::vector<SentFrame> out;
    for (const SentFrame& f : SentSince(from)) {
      if (CommandOf(f.bytes) == kCmdWrite && ObjectOf(f.bytes) == kObjDeviceSettings) {
        out.push_back(f);
      }
    }
    return out;
  }
};

TEST_F(DeviceSettingsTest, ChangeWritesAtTheOldAddressThenTalksToTheNewOne) {
  sim->state().set_settings(
      {.current_preset = 7, .setting1 = 0x12, .setting2 = 0x34, .device_number = 1});
  Connect();
  EXPECT_EQ(view.preset_position, 6);
  view.change_position = 4;  // "05"
  const std::size_t mark = Mark();
  settings->ChangeDeviceId();
  EXPECT_EQ(view.questions.back(), "KORVALD: Do you want to copy it?");
  EXPECT_EQ(engine->DeviceId(), 4);
  EXPECT_EQ(view.device_position, 4);
  clock.Advance(600);
  const std::vector<SentFrame> writes = SettingsWrites(mark);
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(Spaced(writes[0].bytes),
            "A5 A5 A5 00 A1 00 21 00 00 08 07 12 34 05 00 00 00 00 " +
                Spaced(std::array<std::uint8_t, 1>{
                    static_cast<std::uint8_t>(0xA1 ^ 0x21 ^ 0x08 ^ 0x07 ^ 0x12 ^ 0x34 ^ 0x05)}) +
                " AA");
  EXPECT_EQ(sim->Settings().device_number, 5);
  EXPECT_EQ(view.statuses.back(), std::make_pair(StatusNote::kDeviceNumberChanged, 5));
  // The next polls go out as DeviceId 04, and the processor answers them there.
  clock.Advance(5000);
  bool polled = false;
  for (std::size_t i = mark; i < port->sent().size(); ++i) {
    const Bytes& b = port->sent()[i].bytes;
    if (ObjectOf(b) == kObjPoll && b[4] == kCmdRequest &&
        port->sent()[i].time_ms > writes[0].time_ms) {
      EXPECT_EQ(b[3], 4);
      polled = true;
    }
  }
  EXPECT_TRUE(polled);
  EXPECT_TRUE(engine->Connected());
  EXPECT_TRUE(view.messages.empty());
}

TEST_F(DeviceSettingsTest, EmptyEntryIs251AndNoOrNoConnectionSendsNothing) {
  Connect();
  view.change_position = 250;
  std::size_t mark = Mark();
  settings->ChangeDeviceId();
  clock.Advance(600);
  ASSERT_EQ(SettingsWrites(mark).size(), 1u);
  EXPECT_EQ(SettingsWrites(mark)[0].bytes[13], 251);
  EXPECT_EQ(engine->DeviceId(), 250);

  engine->SetDeviceId(0);
  Disconnect();
  Build({.demo_content = true});
  Connect();
  view.answers = {false};
  view.change_position = 9;
  mark = Mark();
  settings->ChangeDeviceId();
  clock.Advance(600);
  EXPECT_TRUE(SettingsWrites(mark).empty());
  EXPECT_EQ(engine->DeviceId(), 0);

  Disconnect();
  const std::size_t questions = view.questions.size();
  settings->ChangeDeviceId();
  EXPECT_EQ(view.questions.size(), questions);
  EXPECT_EQ(engine->DeviceId(), 0);
}

// The active preset follows a recall as it follows a store: "Change" carries the preset
// the processor now holds, and a recall that timed out leaves it alone.
TEST_F(DeviceSettingsTest, ChangeCarriesThePresetOfTheLastSuccessfulRecall) {
  Connect();
  ASSERT_EQ(presets->ActivePreset(), 1);
  view.preset_position = 6;  // Pre7
  presets->LoadPreset();
  clock.Advance(1500);
  ASSERT_FALSE(presets->RecallPending());
  EXPECT_EQ(presets->ActivePreset(), 7);

  sim->options().ignore_objects = {kObjImage};
  view.preset_position = 2;  // Pre3 never comes
  presets->LoadPreset();
  clock.Advance(13000);
  EXPECT_EQ(presets->ActivePreset(), 7);
  EXPECT_EQ(view.preset_position, 6);

  view.change_position = 0;
  const std::size_t mark = Mark();
  settings->ChangeDeviceId();
  clock.Advance(600);
  const std::vector<SentFrame> writes = SettingsWrites(mark);
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].bytes[10], 7);
  EXPECT_EQ(sim->Settings().current_preset, 7);
}

// Without a connection the buttons that need the processor ask nothing and send nothing,
// but say why on the status line.
TEST_F(DeviceSettingsTest, ButtonsThatNeedAProcessorSayWhyTheyDidNothing) {
  const std::vector<std::pair<const char*, std::function<void()>>> buttons = {
      {"Store Preset", [&] { presets->StorePreset(); }},
      {"Load Preset", [&] { presets->LoadPreset(); }},
      {"save 20-group to PC", [&] { backup->SaveToPc(); }},
      {"load 20-group to DV", [&] { backup->LoadToDevice(); }},
      {"Change", [&] { settings->ChangeDeviceId(); }},
  };
  for (const auto& [name, click] : buttons) {
    SCOPED_TRACE(name);
    view.statuses.clear();
    click();
    clock.Advance(2000);
    EXPECT_EQ(view.statuses,
              (std::vector<std::pair<StatusNote, int>>{{StatusNote::kNotConnected, 0}}));
  }
  EXPECT_TRUE(view.questions.empty());
  EXPECT_TRUE(view.dialogs.empty());
  EXPECT_TRUE(port->sent().empty());
}

}  // namespace
}  // namespace veltrane::test
