// The engine against the simulated processor on a virtual clock: the handshake, the send
// rhythm, the time-outs and the disconnect, asserted on the frames sent with their times,
// the model, the processor's state and what the view showed.

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "engine_harness.h"
#include "sim/sim_link.h"
#include "sim/simulator.h"

namespace veltrane {
namespace {

using test::RecordingView;

std::uint8_t ObjectOf(const Bytes& frame) { return frame.size() > 6 ? frame[6] : 0; }
std::uint8_t CommandOf(const Bytes& frame) { return frame.size() > 4 ? frame[4] : 0; }

class ConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override { Build({}); }

  void Build(SimOptions options) {
    engine.reset();
    port.reset();
    sim = std::make_unique<Simulator>(clock, options);
    port = std::make_unique<SimSerialPort>(clock, *sim);
    engine = std::make_unique<ProtocolEngine>(clock, model, view);
    port->SetReceiver([this](std::span<const std::uint8_t> b) { engine->OnBytes(b); });
    engine->SetSerialPort(port.get());
    engine->SelectPort("/dev/ttySIM", 1);
    view.SetClock(&clock);
    engine->Start();
  }

  // Clicks and runs the clock until the handshake (image, names, settings) is over.
  void Connect() {
    engine->ConnectButtonClicked();
    clock.Advance(700);
    ASSERT_TRUE(engine->Connected());
    ASSERT_EQ(sim->Count(SimFrameKind::kSettingsRequest), 1);
  }

  // Frames the editor wrote, as (time, object code) with polls left out when asked.
  std::vector<std::pair<std::int64_t, std::uint8_t>> Sent(bool with_polls = true) const {
    std::vector<std::pair<std::int64_t, std::uint8_t>> out;
    for (const auto& f : port->sent()) {
      if (!with_polls && ObjectOf(f.bytes) == kObjPoll) continue;
      out.emplace_back(f.time_ms, ObjectOf(f.bytes));
    }
    return out;
  }

  std::vector<SentFrame> WritesOf(std::uint8_t object) const {
    std::vector<SentFrame> out;
    for (const auto& f : port->sent()) {
      if (ObjectOf(f.bytes) == object && CommandOf(f.bytes) == kCmdWrite) out.push_back(f);
    }
    return out;
  }

  VirtualClock clock;
  ParameterModel model;
  RecordingView view;
  std::unique_ptr<Simulator> sim;
  std::unique_ptr<SimSerialPort> port;
  std::unique_ptr<ProtocolEngine> engine;
};

TEST_F(ConnectionTest, HandshakeThenOnePollEvery500ms) {
  Build({.demo_content = true});
  ASSERT_NE(sim->LiveModel(), ParameterModel{});
  engine->ConnectButtonClicked();
  EXPECT_EQ(view.caption, "Disconnect");
  EXPECT_TRUE(view.connecting_box);
  EXPECT_FALSE(view.panels_enabled);
  clock.Advance(2600);
  using P = std::pair<std::int64_t, std::uint8_t>;
  // Image request after the 100 ms wait, names at once after the image, slot 65 after
  // 10 + 200 ms, then the first poll 300 + 500 ms later and every 500 ms.
  EXPECT_EQ(Sent(), (std::vector<P>{{100, kObjImage},
                                    {100, kObjPresetNames},
                                    {310, kObjDeviceSettings},
                                    {1110, kObjPoll},
                                    {1610, kObjPoll},
                                    {2110, kObjPoll}}));
  EXPECT_EQ(model, sim->LiveModel());
  EXPECT_EQ(view.caption, "Connect");
  EXPECT_FALSE(view.connecting_box);
  EXPECT_TRUE(view.panels_enabled);
  EXPECT_FALSE(view.port_lists_enabled);
  EXPECT_TRUE(view.lamp_green);
  EXPECT_TRUE(view.messages.empty());
  EXPECT_EQ(view.applies, 1);
  // Polls empty whatever was half received first.
  engine->OnBytes(test::Hex("A5 A5 A5 00 52"));
  EXPECT_TRUE(engine->ReceivePending());
  clock.Advance(500);
  EXPECT_FALSE(engine->ReceivePending());
}

TEST_F(ConnectionTest, IdentityFirstRepeatsTheImageRequest) {
  Build({.identity_first = true, .device_number = 5});
  engine->SetDeviceId(4);
  engine->ConnectButtonClicked();
  clock.Advance(700);
  ASSERT_GE(port->sent().size(), 3u);
  EXPECT_EQ(test::Spaced(port->sent()[0].bytes), "A5 A5 A5 04 A2 00 28 00 00 00 8E AA");
  EXPECT_EQ(port->sent()[1].bytes, port->sent()[0].bytes);
  EXPECT_EQ(ObjectOf(port->sent()[2].bytes), kObjPresetNames);
  EXPECT_TRUE(engine->Connected());
  EXPECT_TRUE(view.messages.empty());
}

TEST_F(ConnectionTest, SendRhythm) {
  Connect();
  port->ClearSent();
  // Slots 40 and 3 marked together: 3 first, 40 one round (about 510 ms) later.
  const std::int64_t t0 = clock.NowMs();
  model.bands[BandId(kOut1, 7)].q = 9;
  SendEqBandBlock(model, BandId(kOut1, 7), *engine);  // slot 40
  model.channels[kInB].gain = 10;
  SendChannelBlock(model, kInB, *engine);  // slot 3
  clock.Advance(1200);
  const auto sent = Sent(false);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].second, kInB);
  EXPECT_EQ(sent[1].second, kOut1);
  EXPECT_LE(sent[0].first - t0, 210);
  EXPECT_EQ(sent[1].first - sent[0].first, 510);
  EXPECT_EQ(sim->LiveModel().bands[BandId(kOut1, 7)].q, 9);
  EXPECT_EQ(sim->LiveModel().channels[kInB].gain, 10);
}

TEST_F(ConnectionTest, TenQuickChangesLeaveTwiceWithTheLastValue) {
  Connect();
  clock.Advance(520);  // idle: just after a poll
  port->ClearSent();
  const std::int64_t t0 = clock.NowMs();
  for (int i = 0; i < 10; ++i) {
    model.channels[kInA].gain = static_cast<std::uint8_t>(100 + i);
    SendChannelBlock(model, kInA, *engine);
    clock.Advance(10);
  }
  clock.Advance(1500);
  const auto writes = WritesOf(kInA);
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_NEAR(writes[0].time_ms - t0, 210, 10);
  EXPECT_EQ(writes[1].time_ms - writes[0].time_ms, 510);
  for (const auto& w : writes) EXPECT_EQ(w.bytes[12], 109);
  EXPECT_EQ(sim->LiveModel().channels[kInA].gain, 109);
}

TEST_F(ConnectionTest, ChangeWhileDisconnectedMarksNothing) {
  model.channels[kOut3].mute = 1;
  SendChannelBlock(model, kOut3, *engine);
  EXPECT_FALSE(engine->SlotPending(11));
  Connect();
  clock.Advance(3000);
  EXPECT_TRUE(WritesOf(kOut3).empty());
  EXPECT_EQ(model.channels[kOut3].mute, 0);  // the processor's image replaced it
}

TEST_F(ConnectionTest, SettingsRequestCarriesTheCurrentDeviceId) {
  Build({.ignore_objects = {kObjDeviceSettings}});
  engine->ConnectButtonClicked();
  clock.Advance(105);  // names in, slot 65 marked, not yet sent
  engine->SetDeviceId(9);
  clock.Advance(300);
  const auto& frames = port->sent();
  const auto it = std::find_if(frames.begin(), frames.end(), [](const SentFrame& f) {
    return ObjectOf(f.bytes) == kObjDeviceSettings;
  });
  ASSERT_NE(it, frames.end());
  EXPECT_EQ(it->bytes[3], 9);
  EXPECT_EQ(it->bytes[18], 9 ^ 0x8B);
}

struct TimeoutCase {
  const char* name;
  SimOptions options;
  std::int64_t expected_ms;  // when the message shows, from the click
};

class TimeoutTest : public ConnectionTest, public ::testing::WithParamInterface<TimeoutCase> {};

TEST_P(TimeoutTest, OneOvertimeMessageAfterTheConnectionIsClosed) {
  Build(GetParam().options);
  bool connected_when_shown = true;
  engine->ConnectButtonClicked();
  // Record the connection state at the moment the message appears.
  std::size_t seen = 0;
  for (int step = 0; step < 1000; ++step) {
    clock.Advance(10);
    if (view.messages.size() > seen) {
      seen = view.messages.size();
      connected_when_shown = engine->Connected();
    }
  }
  ASSERT_EQ(view.messages, std::vector<std::string>{"overtime,please try again."});
  // The wait before the image request plus the time-out, then the 50 ms close.
  EXPECT_EQ(view.message_times[0], GetParam().expected_ms);
  EXPECT_FALSE(connected_when_shown);
  EXPECT_EQ(view.caption, "Disconnect");
  EXPECT_TRUE(view.panels_enabled);
  EXPECT_TRUE(view.port_lists_enabled);
  EXPECT_FALSE(view.connecting_box);
  EXPECT_EQ(clock.RunningTimers(), "lamp ");
}

INSTANTIATE_TEST_SUITE_P(
    Connect, TimeoutTest,
    ::testing::Values(
        TimeoutCase{"Silent", {.silent = true}, 100 + 2000 + 50},
        // The identity restarts the 2 s count; the image's 3 s from the click come first.
        TimeoutCase{"IdentityThenSilence",
                    {.identity_first = true, .drop_after_frames = 1},
                    100 + 2000 + 50},
        TimeoutCase{"IdentityLateThenSilence",
                    {.late_ms = 1500, .identity_first = true, .drop_after_frames = 1},
                    100 + 3000 + 50},
        TimeoutCase{"ImageWithoutNames", {.ignore_objects = {kObjPresetNames}}, 100 + 3000 + 50}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConnectionTest, IdentityThenSilenceTimesOutTwoSecondsAfterIt) {
  Build({.late_ms = 500, .identity_first = true, .drop_after_frames = 1});
  engine->ConnectButtonClicked();
  clock.Advance(5000);
  ASSERT_EQ(view.messages.size(), 1u);
  EXPECT_EQ(view.message_times[0], 100 + 500 + 2000 + 50);
}

TEST_F(ConnectionTest, UnansweredPollEndsWithInterrupt) {
  Connect();
  const std::int64_t first_poll = 1110;
  sim->options().silent = true;
  clock.Advance(first_poll - clock.NowMs());
  clock.Advance(5000);
  ASSERT_EQ(view.messages, std::vector<std::string>{"interrupt."});
  EXPECT_EQ(view.message_times[0], first_poll + 2000 + 50);
  EXPECT_FALSE(engine->Connected());
  EXPECT_FALSE(view.lamp_green);
  // Only the one poll went out unanswered; the poll's time-out was not restarted by later polls.
  int polls_after = 0;
  for (const auto& f : port->sent())
    polls_after += f.time_ms >= first_poll && ObjectOf(f.bytes) == kObjPoll;
  EXPECT_EQ(polls_after, 4);  // 1110, 1610, 2110, 2610: polls go on, the count does not restart
}

TEST_F(ConnectionTest, OpensThePortSelectedAtTheClick) {
  engine->ConnectButtonClicked();
  engine->SelectPort("/dev/ttyOTHER", 7);  // a list refresh during the wait
  clock.Advance(100);
  EXPECT_EQ(port->port_name(), "/dev/ttySIM");
  EXPECT_EQ(engine->ComPortNumber(), 1);
}

TEST_F(ConnectionTest, NoPortShowsMessageAndStaysDisconnected) {
  port->SetOpenFails(true);
  engine->ConnectButtonClicked();
  clock.Advance(5000);
  EXPECT_EQ(view.messages, std::vector<std::string>{"No port or in use."});
  EXPECT_EQ(view.message_times[0], 100);
  EXPECT_EQ(view.caption, "Disconnect");
  EXPECT_TRUE(view.panels_enabled);
  EXPECT_EQ(engine->ComPortNumber(), kComPortFailed);
  EXPECT_TRUE(port->sent().empty());
}

TEST_F(ConnectionTest, ClickBeforeTheNamesEndsTheAttemptForGood) {
  Build({.late_ms = 0, .ignore_objects = {kObjPresetNames}});
  engine->ConnectButtonClicked();
  clock.Advance(150);
  ASSERT_EQ(view.caption, "Connect");
  engine->ConnectButtonClicked();
  // The names arrive during the wait before the port closes: they must not restart the
  // scheduler of a connection that is going away.
  clock.Advance(20);
  engine->OnBytes(BuildFrame(0, kCmdData, 0, kObjPresetNames, 0, Bytes(400)));
  clock.Advance(10000);
  EXPECT_TRUE(view.messages.empty());
  EXPECT_FALSE(engine->Connected());
  EXPECT_EQ(view.caption, "Disconnect");
  EXPECT_EQ(clock.RunningTimers(), "lamp ");
  EXPECT_EQ(port->sent().size(), 2u);  // image and names requests only
}

// Whatever ran while no connection was open, a connection starts from a stopped scheduler:
// a poll during the 0.6 s that the image takes at 9600 baud would empty the half-received
// image, and every attempt would end with "overtime,please try again.".
TEST_F(ConnectionTest, PacedSerialConnectAfterWhatHappenedWhileDisconnected) {
  struct Case {
    const char* what;
    std::function<void()> before;
  };
  const Case cases[] = {
      {"names over HID after the disconnect, then unplugged",
       [this] {
         Simulator hid_sim(clock, {.ignore_objects = {kObjPresetNames}});
         SimHidPort hid(clock, hid_sim);
         hid.SetReceiver([this](std::span<const std::uint8_t> r) { engine->OnBytes(r); });
         engine->SetDeviceLink(&hid);
         engine->ConnectButtonClicked();
         clock.Advance(150);  // the image is in, the names are not
         ASSERT_EQ(view.caption, "Connect");
         engine->ConnectButtonClicked();
         clock.Advance(100);
         ASSERT_FALSE(engine->Connected());
         const Bytes names = BuildFrame(0, kCmdData, 0, kObjPresetNames, 0, Bytes(400));
         engine->OnBytes(names);
         hid.SetPlugged(false);
         engine->SetDeviceLink(nullptr);
       }},
      {"the scheduler restarted while disconnected", [this] { engine->StartScheduler(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Build({.pacing_9600 = true});
    view.messages.clear();
    c.before();
    engine->ConnectButtonClicked();
    clock.Advance(5000);
    EXPECT_TRUE(engine->Connected());
    EXPECT_EQ(view.messages, std::vector<std::string>{});
    EXPECT_EQ(sim->Count(SimFrameKind::kSettingsRequest), 1);
  }
}

class DisconnectTest : public ConnectionTest, public ::testing::WithParamInterface<int> {};

TEST_P(DisconnectTest, NothingMoreLeavesAndTheNextConnectionStartsClean) {
  Connect();
  clock.Advance(520);
  model.channels[kInA].mute = 1;
  SendChannelBlock(model, kInA, *engine);
  clock.Advance(GetParam());  // 20: slot chosen, not sent; 300: in the pause after it
  engine->ConnectButtonClicked();
  const std::size_t before = port->sent().size();
  clock.Advance(3000);
  EXPECT_EQ(port->sent().size(), before);
  EXPECT_FALSE(engine->Connected());
  EXPECT_TRUE(view.messages.empty());
  port->ClearSent();
  engine->ConnectButtonClicked();
  clock.Advance(100);
  ASSERT_FALSE(port->sent().empty());
  EXPECT_EQ(ObjectOf(port->sent()[0].bytes), kObjImage);
  EXPECT_EQ(CommandOf(port->sent()[0].bytes), kCmdRequest);
  clock.Advance(2000);
  EXPECT_TRUE(WritesOf(kInA).empty());
}

INSTANTIATE_TEST_SUITE_P(Connection, DisconnectTest, ::testing::Values(20, 300));

TEST_F(ConnectionTest, AppliedImageSendsNothingBack) {
  view.on_apply = [&] {
    for (int c = 0; c < kChannelCount; ++c) SendChannelBlock(model, c, *engine);
  };
  Connect();
  clock.Advance(3000);
  EXPECT_EQ(sim->Count(SimFrameKind::kParameterWrite), 0);
}

TEST_F(ConnectionTest, ProcessorReportRefreshesControls) {
  Connect();
  sim->SendRefreshReport();
  clock.RunDue();
  EXPECT_EQ(view.applies, 2);
  EXPECT_EQ(view.messages, std::vector<std::string>{"OK"});
}

TEST(HidConnection, RunsOverHidWhenTheDeviceIsPresent) {
  VirtualClock clock;
  ParameterModel model;
  RecordingView view;
  Simulator sim(clock);
  SimHidPort hid(clock, sim);
  ProtocolEngine engine(clock, model, view);
  hid.SetReceiver([&](std::span<const std::uint8_t> r) { engine.OnBytes(r); });
  engine.SetDeviceLink(&hid);
  engine.ConnectButtonClicked();
  clock.Advance(1200);
  EXPECT_TRUE(engine.Connected());
  EXPECT_EQ(engine.ComPortNumber(), kComPortHid);
  EXPECT_EQ(sim.Count(SimFrameKind::kSettingsRequest), 1);
  EXPECT_GE(sim.Count(SimFrameKind::kPoll), 1);
  model.bands[3].freq = 99;
  SendEqBandBlock(model, 3, engine);
  clock.Advance(600);
  EXPECT_EQ(sim.LiveModel().bands[3].freq, 99);
  // Unplugged: nothing answers any more and the poll time-out ends the connection.
  hid.SetPlugged(false);
  clock.Advance(3000);
  EXPECT_EQ(view.messages, std::vector<std::string>{"interrupt."});
}

}  // namespace
}  // namespace veltrane
