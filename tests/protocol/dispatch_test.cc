// Replies through the frame reader and the reply table, and long writes, driven with
// hand-made replies.

#include <gtest/gtest.h>

#include <random>
#include <utility>

#include "engine_harness.h"
#include "model/image_codec.h"

namespace veltrane {
namespace {

using test::Hex;
using test::RecordingSerialPort;
using test::RecordingView;

// A device link (the processor on USB): always open, records every write.
class RecordingLink : public ByteLink {
 public:
  void Write(std::span<const std::uint8_t> bytes) override {
    writes.emplace_back(bytes.begin(), bytes.end());
  }
  std::vector<Bytes> writes;
};

class HookRecorder : public ReplyHooks {
 public:
  void OnUnlockResult(std::uint8_t s) override { unlock.push_back(s); }
  void OnLockResult(std::uint8_t s) override { lock.push_back(s); }
  void OnDeviceSettings(const std::array<std::uint8_t, 4>& d) override { settings.push_back(d); }
  void OnPlainAck() override { ++acks; }
  void OnPresetNames(const std::array<std::string, 20>& n) override { names = n; }
  void ShowUnlock() override { ++unlock_shown; }

  std::vector<std::uint8_t> unlock, lock;
  std::vector<std::array<std::uint8_t, 4>> settings;
  int acks = 0;
  std::vector<std::string> records;
  std::array<std::string, 20> names;
  int unlock_shown = 0;
  std::string saved_image;
};

Bytes Reply(std::uint8_t command, std::uint8_t object, std::vector<std::uint8_t> data,
            std::uint8_t bank = 0) {
  return BuildFrame(0, command, bank, object, 0, data);
}

Bytes ImageReply(const ParameterModel& model) {
  return test::Sealed(Hex(EncodeParameterImage(model)));
}

class DispatchTest : public ::testing::Test {
 protected:
  DispatchTest() : serial(clock), engine(clock, model, view) {
    view.SetClock(&clock);
    engine.SetSerialPort(&serial);
    engine.SetHooks(&hooks);
  }
  void Feed(std::span<const std::uint8_t> bytes) { engine.OnBytes(bytes); }

  VirtualClock clock;
  ParameterModel model;
  RecordingView view;
  RecordingSerialPort serial;
  HookRecorder hooks;
  ProtocolEngine engine;
};

TEST_F(DispatchTest, ImageOverADozenReadsIsDecodedOnce) {
  ParameterModel sent;
  sent.channels[kOut2].gain = 33;
  const Bytes image = ImageReply(sent);
  for (std::size_t first = 0; first < image.size(); first += 48) {
    Feed(std::span(image).subspan(first, std::min<std::size_t>(48, image.size() - first)));
  }
  EXPECT_EQ(view.applies, 1);
  EXPECT_EQ(model.channels[kOut2].gain, 33);
  EXPECT_FALSE(engine.ReceivePending());
  // Shown, but with no connection open it neither connects nor asks for anything.
  EXPECT_FALSE(engine.Connected());
  EXPECT_TRUE(serial.sent.empty());
  EXPECT_FALSE(view.port_lists_enabled);
}

// Replies are whole frames now, not texts of an exact length: what follows a reply in the
// same read no longer hides it, and a reply behind stray bytes is found.
TEST_F(DispatchTest, RepliesAreFoundWhateverSurroundsThemInARead) {
  Bytes image = ImageReply(ParameterModel{});
  image.push_back(0xA5);  // the start of something else
  Feed(image);
  EXPECT_EQ(view.applies, 1);
  EXPECT_TRUE(engine.ReceivePending());

  engine.DiscardReceived();
  Bytes stray_then_settings = Hex("00 13 A5 A5 7F");
  const Bytes settings = Reply(kCmdData, kObjDeviceSettings, {7, 1, 2, 5, 0, 0, 0, 0});
  stray_then_settings.insert(stray_then_settings.end(), settings.begin(), settings.end());
  Feed(stray_then_settings);
  ASSERT_EQ(hooks.settings.size(), 1u);
  EXPECT_EQ(hooks.settings[0], (std::array<std::uint8_t, 4>{7, 1, 2, 5}));
  EXPECT_FALSE(engine.ReceivePending());
}

TEST_F(DispatchTest, PollAnswerAndAcknowledgeInOneReadAreBothHandled) {
  Bytes both = Reply(kCmdData, kObjPoll, std::vector<std::uint8_t>(8));
  const Bytes ack = Hex("A5 A5 A5 07 51 00 00 00 00 00 56 AA");  // any DeviceId byte will do
  both.insert(both.end(), ack.begin(), ack.end());
  Feed(both);
  EXPECT_EQ(hooks.acks, 1);
  EXPECT_FALSE(engine.ReceivePending());
}

TEST_F(DispatchTest, BadChecksumOrEndByteIsDropped) {
  const struct {
    const char* what;
    const char* bytes;
  } cases[] = {
      {"checksum", "A5 A5 A5 00 51 00 00 00 00 00 FF AA"},
      {"end byte", "A5 A5 A5 00 51 00 00 00 00 00 51 AB"},
  };
  for (const auto& c : cases) {
    Feed(Hex(c.bytes));
    EXPECT_EQ(hooks.acks, 0) << c.what;
  }
  EXPECT_EQ(engine.BadFrames(), 2);
  Feed(Hex("A5 A5 A5 00 51 00 00 00 00 00 51 AA"));
  EXPECT_EQ(hooks.acks, 1);
}

TEST_F(DispatchTest, LongPollAnswerIsRemovedAndTheRestSeen) {
  Bytes both = Reply(kCmdData, kObjPoll, std::vector<std::uint8_t>(20));
  const Bytes settings = Reply(kCmdData, kObjDeviceSettings, {7, 1, 2, 5, 0, 0, 0, 0});
  both.insert(both.end(), settings.begin(), settings.end());
  Feed(both);
  ASSERT_EQ(hooks.settings.size(), 1u);
  EXPECT_EQ(hooks.settings[0], (std::array<std::uint8_t, 4>{7, 1, 2, 5}));
  EXPECT_FALSE(engine.ReceivePending());
}

TEST_F(DispatchTest, PartsOfAReplyWaitForTheRestUntilItsTimeOut) {
  const Bytes ack = Hex("A5 A5 A5 00 51 00 00 00 00 00 51 AA");
  Feed(std::span(ack).first(2));  // a read that ends inside the start marker
  Feed(std::span(ack).subspan(2, 5));
  EXPECT_TRUE(engine.ReceivePending());
  Feed(std::span(ack).subspan(7));
  EXPECT_EQ(hooks.acks, 1);

  // A reply that stops half-way is given up once it is overdue, and what came after its
  // start is looked at again.
  const Bytes settings = Reply(kCmdData, kObjDeviceSettings, {3, 0, 0, 1, 0, 0, 0, 0});
  Feed(std::span(settings).first(12));
  clock.Advance(IncompleteFrameTimeoutMs(settings.size()) + 1);
  Feed(ack);
  EXPECT_EQ(hooks.acks, 2);
  EXPECT_TRUE(hooks.settings.empty());
  EXPECT_EQ(engine.BadFrames(), 1);

  // A frame no row knows (a parameter write's acknowledge) is passed over.
  Feed(Reply(kCmdAck, kObjPoll, {}));
  EXPECT_FALSE(engine.ReceivePending());
  EXPECT_EQ(view.applies + hooks.acks, 2);
}

TEST_F(DispatchTest, LockUnlockAndRefreshRowsTakeTheirReplyOut) {
  // Two answers with no poll between them (a password typed again at once): each one is
  // recognised, because the first does not stay in the buffer in front of the second.
  Feed(Reply(kCmdAck, kObjUnlock, {0, 0, 0, 0, 0, 0, 1, 0}));
  Feed(Reply(kCmdAck, kObjUnlock, {0, 0, 0, 0, 0, 0, 0, 0}));
  Feed(Reply(kCmdAck, kObjLock, {0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(hooks.unlock, (std::vector<std::uint8_t>{1, 0}));
  EXPECT_EQ(hooks.lock, std::vector<std::uint8_t>{0});
  Feed(Reply(kCmdAck, kObjRefresh, {}, 9));  // Bank is not looked at
  Feed(Reply(kCmdAck, kObjRefresh, {}));
  EXPECT_EQ(view.applies, 2);
  EXPECT_EQ(view.messages, (std::vector<std::string>{"OK", "OK"}));
}

TEST_F(DispatchTest, IdentityMustMatchExactlyAndComeDuringAConnection) {
  const auto identity = [](const std::string& text) {
    std::vector<std::uint8_t> data(24);
    std::copy(text.begin(), text.end(), data.begin());
    return Reply(kCmdData, kObjIdentity, data, 5);  // Bank and Index are not looked at
  };
  RecordingLink device;
  engine.SetDeviceLink(&device);
  Feed(identity("TAMBREL2X"));  // no connection open: nothing is asked, nothing times out
  clock.Advance(5000);
  EXPECT_TRUE(device.writes.empty());
  EXPECT_TRUE(view.messages.empty());

  engine.ConnectButtonClicked();
  clock.Advance(100);
  ASSERT_EQ(device.writes.size(), 1u);
  Feed(identity("TAMBREL2x"));
  EXPECT_EQ(device.writes.size(), 1u);
  Feed(identity("TAMBREL2X"));
  ASSERT_EQ(device.writes.size(), 2u);
  EXPECT_EQ(device.writes[1], device.writes[0]);  // the image request once more
}

TEST_F(DispatchTest, BackupRecordsOnlyWhileClaimed) {
  ParameterModel m;
  Bytes record = ImageReply(m);
  record[6] = kObjPresetImage;
  record = test::Sealed(record);
  Feed(record);
  EXPECT_TRUE(hooks.records.empty());
  engine.ClaimReplies(kObjPresetImage, [&](const Frame&, std::string_view text) {
    hooks.records.emplace_back(text);
  });
  Bytes two = record;
  two.insert(two.end(), record.begin(), record.begin() + 20);
  Feed(two);
  ASSERT_EQ(hooks.records.size(), 1u);
  EXPECT_EQ(hooks.records[0], EncodeHex(record));
  EXPECT_TRUE(engine.ReceivePending());  // the next record's start waits for its rest
  engine.ReleaseReplies(kObjPresetImage);
  engine.DiscardReceived();
  Feed(record);
  EXPECT_EQ(hooks.records.size(), 1u);  // released: passed over again
}

TEST_F(DispatchTest, PresetNamesAreDecodedToTheirFirstZero) {
  std::vector<std::uint8_t> data(400);
  const char first[] = {'A', 'B', 0, 'C', 'D'};
  std::copy(std::begin(first), std::end(first), data.begin());
  for (int i = 0; i < 20; ++i) data[20 * 19 + i] = 'Z';  // no zero at all: 20 characters
  Feed(Reply(kCmdData, kObjPresetNames, data));
  EXPECT_EQ(hooks.names[0], "AB");
  EXPECT_EQ(hooks.names[1], "");
  EXPECT_EQ(hooks.names[19], std::string(20, 'Z'));
  // With no connection open the names are shown, but ask for nothing and start nothing.
  EXPECT_FALSE(engine.SlotPending(kSettingsRequestSlot));
  EXPECT_EQ(clock.RunningTimers(), "");

  engine.SelectPort("ttyTEST", 1);
  engine.ConnectButtonClicked();
  clock.Advance(100);
  ASSERT_TRUE(engine.Connected());
  Feed(Reply(kCmdData, kObjPresetNames, data));
  EXPECT_TRUE(engine.SlotPending(kSettingsRequestSlot));
  EXPECT_NE(clock.RunningTimers().find("poll"), std::string::npos);
}

TEST_F(DispatchTest, AppliedImageIsNeverEchoed) {
  // The controls' handlers fire while the image is applied, as widgets do.
  view.on_apply = [&] {
    for (int c = 0; c < kChannelCount; ++c) SendChannelBlock(model, c, engine);
  };
  engine.SelectPort("ttyTEST", 1);
  engine.ConnectButtonClicked();
  clock.Advance(100);
  ASSERT_TRUE(engine.Connected());
  SendChannelBlock(model, kOut1, engine);  // queued before the image: dropped too
  ASSERT_TRUE(engine.SlotPending(5));
  Feed(ImageReply(ParameterModel{}));
  for (int slot = 1; slot <= kSlotCount; ++slot) EXPECT_FALSE(engine.SlotPending(slot)) << slot;
  EXPECT_TRUE(engine.Connected());
}

TEST_F(DispatchTest, ImagesClaimedByOperations) {
  engine.SelectPort("ttyTEST", 1);
  engine.ConnectButtonClicked();
  clock.Advance(100);
  serial.sent.clear();
  ParameterModel other;
  other.channels[kInA].gain = 5;
  const Bytes image = ImageReply(other);

  // A file save takes the image as it is: not decoded; it starts the scheduler again.
  engine.ClaimReplies(kObjImage, [&](const Frame&, std::string_view text) {
    hooks.saved_image = text;
    engine.ReleaseReplies(kObjImage);  // from inside its own claim
    engine.StartScheduler();
  });
  Feed(image);
  EXPECT_EQ(hooks.saved_image, EncodeHex(image));
  EXPECT_EQ(view.applies, 0);
  EXPECT_EQ(model.channels[kInA].gain, 120);
  clock.Advance(500);
  ASSERT_EQ(serial.sent.size(), 1u);
  EXPECT_EQ(serial.sent[0].bytes[6], kObjPoll);

  // A preset load applies it and asks for no names.
  serial.sent.clear();
  engine.ClaimReplies(kObjImage, [&](const Frame& frame, std::string_view) {
    engine.ApplyReceivedImage(frame);
    engine.ReleaseReplies(kObjImage);
  });
  Feed(image);
  EXPECT_EQ(view.applies, 1);
  EXPECT_EQ(model.channels[kInA].gain, 5);
  EXPECT_TRUE(serial.sent.empty());

  // Unclaimed: applied, then the names are asked for, and a locked panel shows the dialog.
  Bytes locked = ImageReply(other);
  locked[10 + 8 * 64] = 1;  // lock byte
  locked = test::Sealed(locked);
  Feed(locked);
  EXPECT_EQ(hooks.unlock_shown, 1);
  ASSERT_EQ(serial.sent.size(), 1u);
  EXPECT_EQ(serial.sent[0].bytes[6], kObjPresetNames);
}

// Over the device link the block is one write like over the serial port; the link divides
// it into reports.
TEST_F(DispatchTest, DeviceLinkTakesTheHeaderAndTheBlockAsTwoWrites) {
  RecordingLink device;
  engine.SetDeviceLink(&device);
  engine.ConnectButtonClicked();
  clock.Advance(100);
  ASSERT_TRUE(engine.Connected());
  device.writes.clear();
  const std::string image = EncodeParameterImage(ParameterModel{});
  engine.SendLongWriteHeader(0, kObjImage);
  engine.SendImageBlock(image, kObjImage, 0);
  ASSERT_EQ(device.writes.size(), 2u);
  EXPECT_EQ(test::Spaced(device.writes[0]), "A5 A5 A5 00 A1 00 28 00 02 28");
  ASSERT_EQ(device.writes[1].size(), kLongWriteBlockLength);
  // The block's bytes are the image's bytes 10..561.
  const Bytes image_bytes = Hex(image);
  EXPECT_EQ(device.writes[1][0], image_bytes[10]);
  EXPECT_EQ(device.writes[1][551], image_bytes[561]);
  EXPECT_EQ(device.writes[1][553], 0xAA);
}

TEST_F(DispatchTest, SerialBlockIsOneWriteAndNothingWithoutConnection) {
  const std::string image = EncodeParameterImage(ParameterModel{});
  engine.SendImageBlock(image, kObjImage, 0);
  EXPECT_TRUE(serial.sent.empty());
  engine.SelectPort("ttyTEST", 1);
  engine.ConnectButtonClicked();
  clock.Advance(100);
  serial.sent.clear();
  engine.SendImageBlock(std::string(kImageTextLength, '0'), kObjImage, 0);
  ASSERT_EQ(serial.sent.size(), 1u);
  EXPECT_EQ(serial.sent[0].bytes.size(), 554u);
  EXPECT_EQ(serial.sent[0].bytes[552], 0xA3);
}

// Whatever came before, a reply that arrives after a pause is understood: nothing the line
// mangled can wedge the reader.
TEST_F(DispatchTest, AfterAnyGarbageAReplyIsUnderstood) {
  std::mt19937 rng(1234);
  ParameterModel m;
  const std::vector<Bytes> seeds = {
      ImageReply(m),
      Reply(kCmdData, kObjPresetNames, std::vector<std::uint8_t>(400, 'a')),
      Reply(kCmdData, kObjPoll, std::vector<std::uint8_t>(8)),
      Reply(kCmdData, kObjPoll, std::vector<std::uint8_t>(20)),
      Reply(kCmdData, kObjIdentity, std::vector<std::uint8_t>(24, 'T')),
      Reply(kCmdAck, kObjUnlock, std::vector<std::uint8_t>(8, 1)),
      Reply(kCmdData, kObjDeviceSettings, std::vector<std::uint8_t>(8, 2)),
      Hex("A5 A5 A5 00 51 00 00 00 00 00 51 AA")};
  const Bytes probe = Reply(kCmdAck, kObjLock, {0, 0, 0, 0, 0, 0, 1, 0});
  engine.ClaimReplies(kObjPresetImage, [&](const Frame&, std::string_view text) {
    hooks.records.emplace_back(text);
  });
  for (int round = 0; round < 2000; ++round) {
    Bytes bytes = seeds[rng() % seeds.size()];
    switch (rng() % 4) {
      case 0:  // flip bytes
        for (int i = 0; i < 4; ++i) bytes[rng() % bytes.size()] = static_cast<std::uint8_t>(rng());
        break;
      case 1:  // truncate
        bytes.resize(rng() % bytes.size());
        break;
      case 2:  // random garbage
        bytes.assign(rng() % 700, 0);
        for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
        break;
      default:
        break;
    }
    // In random pieces, as a serial link delivers them.
    std::size_t first = 0;
    while (first < bytes.size()) {
      const std::size_t n = std::min<std::size_t>(1 + rng() % 80, bytes.size() - first);
      Feed(std::span(bytes).subspan(first, n));
      first += n;
    }
    clock.Advance(IncompleteFrameTimeoutMs(kImageFrameLength) + 1);
    const std::size_t locks = hooks.lock.size();
    Feed(probe);
    ASSERT_EQ(hooks.lock.size(), locks + 1) << "round " << round;
  }
}

}  // namespace
}  // namespace veltrane
