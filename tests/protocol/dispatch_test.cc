// Reply recognition, HID reassembly and long writes, driven with hand-made replies.

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

class RecordingHidPort : public HidPort {
 public:
  bool WriteReport(const HidReport& report) override {
    reports.push_back(report);
    return static_cast<int>(reports.size()) != fail_write_number;
  }
  std::vector<HidReport> reports;
  int fail_write_number = 0;  // 1-based; 0 never fails
};

class HookRecorder : public ReplyHooks {
 public:
  void OnUnlockResult(std::uint8_t s) override { unlock.push_back(s); }
  void OnLockResult(std::uint8_t s) override { lock.push_back(s); }
  void OnDeviceSettings(const std::array<std::uint8_t, 4>& d) override { settings.push_back(d); }
  void OnPlainAck() override { ++acks; }
  bool CollectingBackup() const override { return collecting; }
  void OnBackupRecord(std::string_view r) override { records.emplace_back(r); }
  void OnPresetNames(const std::array<std::string, 20>& n) override { names = n; }
  void ShowUnlock() override { ++unlock_shown; }
  bool TakeImageForFile(std::string_view image) override {
    if (!file_save_pending) return false;
    file_save_pending = false;
    saved_image = image;
    return true;
  }
  bool ImageEndsPresetLoad() override { return std::exchange(preset_load_pending, false); }

  std::vector<std::uint8_t> unlock, lock;
  std::vector<std::array<std::uint8_t, 4>> settings;
  int acks = 0;
  bool collecting = false;
  std::vector<std::string> records;
  std::array<std::string, 20> names;
  int unlock_shown = 0;
  bool file_save_pending = false;
  std::string saved_image;
  bool preset_load_pending = false;
};

Bytes Reply(std::uint8_t command, std::uint8_t object, std::vector<std::uint8_t> data,
            std::uint8_t bank = 0) {
  return BuildFrame(0, command, bank, object, 0, data);
}

Bytes ImageReply(const ParameterModel& model) {
  std::vector<std::uint8_t> bytes = Hex(EncodeParameterImage(model));
  bytes[4] = kCmdData;
  return bytes;
}

class DispatchTest : public ::testing::Test {
 protected:
  DispatchTest() : serial(clock), engine(clock, model, view) {
    view.SetClock(&clock);
    engine.SetSerialPort(&serial);
    engine.SetHooks(&hooks);
  }
  void Feed(std::span<const std::uint8_t> bytes) { engine.OnSerialBytes(bytes); }

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
  EXPECT_TRUE(engine.RxHexBuffer().empty());
  // Shown, but with no connection open it neither connects nor asks for anything.
  EXPECT_FALSE(engine.Connected());
  EXPECT_TRUE(serial.sent.empty());
  EXPECT_FALSE(view.port_lists_enabled);
}

TEST_F(DispatchTest, ImageFollowedByOtherBytesInOneReadIsNotRecognised) {
  Bytes image = ImageReply(ParameterModel{});
  image.push_back(0xA5);
  Feed(image);
  EXPECT_EQ(view.applies, 0);
}

TEST_F(DispatchTest, PollAnswerLeavesFollowingAcknowledgeForLater) {
  hooks.collecting = false;
  Bytes both = Reply(kCmdData, kObjPoll, std::vector<std::uint8_t>(8));
  const Bytes ack = Hex("A5 A5 A5 00 51 00 00 00 00 00 51 AA");
  both.insert(both.end(), ack.begin(), ack.end());
  Feed(both);
  EXPECT_EQ(engine.RxHexBuffer(), EncodeHex(ack));
  EXPECT_EQ(hooks.acks, 0);
  // The next arrival finds it (any checksum and DeviceId byte will do).
  engine.RxHexBuffer().clear();
  Feed(Hex("A5 A5 A5 07 51 00 00 00 00 00 FF AA"));
  EXPECT_EQ(hooks.acks, 1);
  EXPECT_TRUE(engine.RxHexBuffer().empty());
}

TEST_F(DispatchTest, LongPollAnswerIsRemovedAndTheRestSeen) {
  Bytes both = Reply(kCmdData, kObjPoll, std::vector<std::uint8_t>(20));
  const Bytes settings = Reply(kCmdData, kObjDeviceSettings, {7, 1, 2, 5, 0, 0, 0, 0});
  both.insert(both.end(), settings.begin(), settings.end());
  Feed(both);
  ASSERT_EQ(hooks.settings.size(), 1u);
  EXPECT_EQ(hooks.settings[0], (std::array<std::uint8_t, 4>{7, 1, 2, 5}));
  EXPECT_TRUE(engine.RxHexBuffer().empty());
}

TEST_F(DispatchTest, BufferLimitsAndStartMarker) {
  Feed(std::vector<std::uint8_t>(750, 0xA5));  // 1500 characters
  EXPECT_TRUE(engine.RxHexBuffer().empty());
  Feed(Hex("A5 A5"));
  Feed(Hex("A5 00 52"));  // still a frame's start: kept
  EXPECT_EQ(engine.RxHexBuffer(), "A5A5A50052");
  Feed(Hex("00 11"));
  Feed(Hex("FF"));
  EXPECT_EQ(engine.RxHexBuffer().size(), 16u);  // unknown reply stays until the next poll
  engine.RxHexBuffer() = "5A";
  Feed(Hex("00"));
  EXPECT_TRUE(engine.RxHexBuffer().empty());
}

TEST_F(DispatchTest, LockUnlockAndRefreshRowsTakeTheirReplyOut) {
  // Two answers with no poll between them (a password typed again at once): each one is
  // recognised, because the first does not stay in the buffer in front of the second.
  Feed(Reply(kCmdAck, kObjUnlock, {0, 0, 0, 0, 0, 0, 1, 0}));
  Feed(Reply(kCmdAck, kObjUnlock, {0, 0, 0, 0, 0, 0, 0, 0}));
  Feed(Reply(kCmdAck, kObjLock, {0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(hooks.unlock, (std::vector<std::uint8_t>{1, 0}));
  EXPECT_EQ(hooks.lock, std::vector<std::uint8_t>{0});
  EXPECT_TRUE(engine.RxHexBuffer().empty());
  Feed(Reply(kCmdAck, kObjRefresh, {}, 9));  // Bank, Index and Length are not looked at
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
  RecordingHidPort hid;
  engine.SetHidPort(&hid);
  Feed(identity("TAMBREL2X"));  // no connection open: nothing is asked, nothing times out
  clock.Advance(5000);
  EXPECT_TRUE(hid.reports.empty());
  EXPECT_TRUE(view.messages.empty());

  engine.ConnectButtonClicked();
  clock.Advance(100);
  ASSERT_EQ(hid.reports.size(), 1u);
  Feed(identity("TAMBREL2x"));
  EXPECT_EQ(hid.reports.size(), 1u);
  engine.RxHexBuffer().clear();  // an identity stays in the buffer; here it is dropped
  Feed(identity("TAMBREL2X"));
  ASSERT_EQ(hid.reports.size(), 2u);
  EXPECT_EQ(hid.reports[1], hid.reports[0]);  // the image request once more
}

TEST_F(DispatchTest, BackupRecordsOnlyWhileCollecting) {
  ParameterModel m;
  Bytes record = ImageReply(m);
  record[6] = kObjPresetImage;
  Feed(record);
  EXPECT_TRUE(hooks.records.empty());
  engine.RxHexBuffer().clear();
  hooks.collecting = true;
  Bytes two = record;
  two.insert(two.end(), record.begin(), record.begin() + 20);
  Feed(two);
  ASSERT_EQ(hooks.records.size(), 1u);
  EXPECT_EQ(hooks.records[0], EncodeHex(record));
  EXPECT_EQ(engine.RxHexBuffer(), EncodeHex(std::span(record).first(20)));
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
  EXPECT_NE(clock.RunningTimers().find("Timer1"), std::string::npos);
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

  // A file save takes the image as it is: not decoded, scheduler running again.
  hooks.file_save_pending = true;
  Feed(image);
  EXPECT_EQ(hooks.saved_image, EncodeHex(image));
  EXPECT_EQ(view.applies, 0);
  EXPECT_EQ(model.channels[kInA].gain, 120);
  EXPECT_TRUE(engine.RxHexBuffer().empty());
  clock.Advance(500);
  ASSERT_EQ(serial.sent.size(), 1u);
  EXPECT_EQ(serial.sent[0].bytes[6], kObjPoll);

  // A preset load applies it and asks for no names.
  serial.sent.clear();
  hooks.preset_load_pending = true;
  Feed(image);
  EXPECT_EQ(view.applies, 1);
  EXPECT_EQ(model.channels[kInA].gain, 5);
  EXPECT_TRUE(serial.sent.empty());

  // Unclaimed: applied, then the names are asked for, and a locked panel shows the dialog.
  Bytes locked = ImageReply(other);
  locked[10 + 8 * 64] = 1;  // lock byte
  Feed(locked);
  EXPECT_EQ(hooks.unlock_shown, 1);
  ASSERT_EQ(serial.sent.size(), 1u);
  EXPECT_EQ(serial.sent[0].bytes[6], kObjPresetNames);
}

TEST_F(DispatchTest, HidReassemblyGivesExactlyOneFrameOfText) {
  for (std::size_t length : {0u, 8u, 20u, 24u, 400u, 552u}) {
    // An object no row knows, so the text stays in the buffer for inspection.
    const Bytes frame = BuildFrame(0, kCmdData, 0, 0x77, 0, std::vector<std::uint8_t>(length, 3));
    std::array<std::uint8_t, 64> header{};
    std::copy_n(frame.begin(), 10, header.begin());
    header[20] = 0xEE;  // the rest of the header report is ignored
    engine.OnHidReport(header);
    const std::size_t reports = length / 64 + 1;
    for (std::size_t k = 0; k < reports; ++k) {
      std::array<std::uint8_t, 64> data{};
      const std::size_t first = 10 + 64 * k;
      std::copy_n(frame.begin() + first, std::min<std::size_t>(64, frame.size() - first),
                  data.begin());
      engine.OnHidReport(data);
    }
    EXPECT_EQ(engine.RxHexBuffer(), EncodeHex(frame)) << length;
    EXPECT_EQ(engine.RxHexBuffer().size(), 24 + 2 * length);
  }
  // A report that does not start a frame is dropped while idle.
  engine.RxHexBuffer().clear();
  std::array<std::uint8_t, 64> noise{};
  noise.fill(0x11);
  engine.OnHidReport(noise);
  EXPECT_TRUE(engine.RxHexBuffer().empty());
}

class LongWriteTest : public DispatchTest {
 protected:
  void ConnectOverHid() {
    engine.SetHidPort(&hid);
    engine.ConnectButtonClicked();
    clock.Advance(100);
    ASSERT_TRUE(engine.Connected());
    hid.reports.clear();
  }
  RecordingHidPort hid;
};

TEST_F(LongWriteTest, HidBlockIsNineReportsEndingWithFortyTwoBytes) {
  ConnectOverHid();
  const std::string image = EncodeParameterImage(ParameterModel{});
  engine.SendLongWriteHeader(0, kObjImage);
  engine.SendImageBlock(image, kObjImage, 0);
  ASSERT_EQ(hid.reports.size(), 10u);
  EXPECT_EQ(test::Spaced(std::span(hid.reports[0]).subspan(0, 12)),
            "00 A5 A5 A5 00 A1 00 28 00 02 28 00");
  const HidReport& last = hid.reports[9];
  EXPECT_EQ(last[0], 0);
  EXPECT_EQ(last[42], 0xAA);
  for (std::size_t i = 43; i < last.size(); ++i) EXPECT_EQ(last[i], 0) << i;
  // The block's bytes are the image's bytes 10..561.
  const Bytes image_bytes = Hex(image);
  EXPECT_EQ(hid.reports[1][1], image_bytes[10]);
  EXPECT_EQ(last[40], image_bytes[561]);
}

TEST_F(LongWriteTest, FailedThirdReportStopsTheBlock) {
  ConnectOverHid();
  hid.fail_write_number = 3;
  engine.SendImageBlock(EncodeParameterImage(ParameterModel{}), kObjPresetImage, 3);
  EXPECT_EQ(hid.reports.size(), 3u);
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

TEST_F(DispatchTest, RandomAndMutatedRepliesNeverCrash) {
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
  hooks.collecting = true;
  for (int round = 0; round < 4000; ++round) {
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
    // Serial in random pieces, HID in 64-byte reports.
    std::size_t first = 0;
    while (first < bytes.size()) {
      const std::size_t n = std::min<std::size_t>(1 + rng() % 80, bytes.size() - first);
      Feed(std::span(bytes).subspan(first, n));
      first += n;
    }
    std::array<std::uint8_t, 64> report{};
    for (std::size_t k = 0; k < bytes.size(); k += 64) {
      report.fill(0);
      std::copy_n(bytes.begin() + k, std::min<std::size_t>(64, bytes.size() - k), report.begin());
      engine.OnHidReport(report);
    }
    if (rng() % 8 == 0) engine.RxHexBuffer().clear();
    EXPECT_LT(engine.RxHexBuffer().size(), 1500u + 2 * 80 + 2 * 1200);
  }
}

}  // namespace
}  // namespace veltrane
