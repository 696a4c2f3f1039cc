// The 20-group backup against simulated processors on a virtual clock: the request
// rhythm, collecting records, the read time-out, the restore's slot writes, and a backup
// taken from one processor and restored into another.

#include "storage/group_backup.h"

#include "feature_harness.h"
#include "model/blocks.h"
#include "storage/image_text.h"

namespace veltrane::test {
namespace {

class GroupBackupTest : public FeatureTest {
 protected:
  std::vector<SentFrame> Of(std::size_t from, std::uint8_t command, std::uint8_t object) const {
    std::vector<SentFrame> out;
    for (const SentFrame& f : SentSince(from)) {
      if (CommandOf(f.bytes) == command && ObjectOf(f.bytes) == object) out.push_back(f);
    }
    return out;
  }
  // 20 lines, slot k's record as the processor answers it from `id` with bank `bank`.
  static std::string BackupFile(const Simulator& from, std::uint8_t id) {
    std::vector<std::string> lines;
    for (int slot = 1; slot <= 20; ++slot) {
      lines.push_back(EncodeHex(BuildFrame(id, kCmdData, static_cast<std::uint8_t>(slot),
                                           kObjPresetImage, 0, from.PresetImage(slot))));
    }
    return FileLines(lines);
  }
};

TEST_F(GroupBackupTest, SaveRequestsEverySlot1200msApartAndWritesTheAnswersInOrder) {
  Connect();
  view.chosen_paths = {"/pc/backup"};
  const std::size_t mark = Mark();
  const std::int64_t clicked = clock.NowMs();
  backup->SaveToPc();
  clock.Advance(100);
  EXPECT_TRUE(view.transfer_box);
  EXPECT_FALSE(view.operation_panels_enabled);
  clock.Advance(50 + 20 * 1200);
  const std::vector<SentFrame> requests = Of(mark, kCmdRequest, kObjPresetImage);
  ASSERT_EQ(requests.size(), 20u);
  for (int n = 1; n <= 20; ++n) {
    SCOPED_TRACE(n);
    const Bytes& r = requests[n - 1].bytes;
    EXPECT_EQ(requests[n - 1].time_ms, clicked + 50 + 1200 * n);  // answered at once or not
    EXPECT_EQ(r[5], n);
    EXPECT_EQ(r[10], 0x00 ^ n ^ 0x8B);
  }
  EXPECT_EQ(PollsSince(mark), 0);
  ASSERT_EQ(view.dialogs.size(), 1u);
  EXPECT_EQ(view.dialogs[0].default_name, "20Group_file");
  EXPECT_EQ(view.dialogs[0].filter, "20data_file");
  EXPECT_EQ(files.files.at("/pc/backup"), BackupFile(*sim, 0));
  EXPECT_FALSE(view.transfer_box);
  EXPECT_TRUE(view.operation_panels_enabled);
  EXPECT_EQ(view.transfer_progress.back(), 100);
  EXPECT_EQ(view.statuses.back().first, StatusNote::kGroupSaved);
  clock.Advance(1000);
  EXPECT_GE(PollsSince(mark), 1);
  EXPECT_TRUE(view.messages.empty());
}

// The 25 s read is not thrown away with a file that cannot be written: another path is
// asked for; Cancel then asks before discarding, and No goes back to the dialog.
TEST_F(GroupBackupTest, ASaveThatCannotWriteKeepsTheRecordsForAnotherPath) {
  Connect();
  files.write_errors["/ro/backup"] = "Read-only file system";
  view.chosen_paths = {"/ro/backup", std::nullopt, "/pc/backup"};
  view.answers = {false};
  const std::size_t mark = Mark();
  backup->SaveToPc();
  clock.Advance(100 + 20 * 1200);
  ASSERT_EQ(view.messages.size(), 1u);
  EXPECT_NE(view.messages[0].find("Read-only file system"), std::string::npos);
  EXPECT_EQ(view.dialogs.size(), 3u);
  EXPECT_EQ(view.questions.back(), "KORVALD: " + std::string(kDiscardQuestion));
  EXPECT_EQ(files.files.at("/pc/backup"), BackupFile(*sim, 0));
  EXPECT_EQ(Of(mark, kCmdRequest, kObjPresetImage).size(), 20u);  // read once only
  clock.Advance(1000);
  EXPECT_GE(PollsSince(mark), 1);

  // Yes to the question discards: nothing written, the polls come back.
  files.write_errors["/pc/backup"] = "Read-only file system";
  files.files.clear();
  view.chosen_paths = {"/pc/backup", std::nullopt};
  view.answers = {true};
  const std::size_t again = Mark();
  backup->SaveToPc();
  clock.Advance(100 + 20 * 1200);
  EXPECT_TRUE(files.files.empty());
  EXPECT_EQ(view.dialogs.size(), 5u);
  clock.Advance(1000);
  EXPECT_GE(PollsSince(again), 1);
}

// A change sent just before the click ends its send chain during the read; the chain
// must not bring the poll back, which would empty the buffer in the middle of a record.
TEST_F(GroupBackupTest, AChangeOnItsWayOutDoesNotRestartThePollDuringTheRead) {
  Build({.pacing_9600 = true, .demo_content = true});
  engine->ConnectButtonClicked();
  clock.Advance(3000);
  ASSERT_TRUE(engine->Connected());
  model.channels[kOut1].gain = 100;
  SendChannelBlock(model, kOut1, *engine);
  clock.Advance(15);  // chosen; it leaves 200 ms later and the chain ends 300 ms after
  view.chosen_paths = {"/pc/backup"};
  const std::size_t mark = Mark();
  backup->SaveToPc();
  clock.Advance(24000);  // the 20th request has just gone out
  EXPECT_EQ(PollsSince(mark), 0);
  clock.Advance(3000);
  EXPECT_TRUE(view.messages.empty());
  EXPECT_EQ(files.files.count("/pc/backup"), 1u);
}

TEST_F(GroupBackupTest, AnAnswerFollowedByTheNextOnesStartIsOneRecordAndTheRestWaits) {
  Connect();
  sim->options().ignore_objects = {kObjPresetImage};
  view.chosen_paths = {"/pc/b"};
  backup->SaveToPc();
  clock.Advance(100);
  std::string all;
  for (int slot = 1; slot <= 20; ++slot) {
    all += EncodeHex(BuildFrame(0, kCmdData, static_cast<std::uint8_t>(slot), kObjPresetImage, 0,
                                sim->PresetImage(slot)));
  }
  const Bytes bytes = Hex(all);
  engine->OnBytes(std::span(bytes).first(564 + 100));
  EXPECT_TRUE(engine->ReceivePending());  // the next record's first 100 bytes
  // The rest as a serial link delivers it, a few dozen bytes per read.
  for (std::size_t at = 664; at < bytes.size(); at += 60) {
    engine->OnBytes(std::span(bytes).subspan(at, std::min<std::size_t>(60, bytes.size() - at)));
  }
  EXPECT_FALSE(engine->ReceivePending());
  EXPECT_EQ(JoinLines(files.files.at("/pc/b")), all);
}

// Each answer carries its slot: a doubled answer is passed over instead of shifting slots
// 6-20 into the wrong lines, and an answer that skips a slot ends the read with nothing
// written.
TEST_F(GroupBackupTest, RecordsGoToTheSlotTheyCarry) {
  Connect();
  sim->options().ignore_objects = {kObjPresetImage};
  view.chosen_paths = {"/pc/b"};
  backup->SaveToPc();
  clock.Advance(100);
  const auto record = [&](int slot) {
    return EncodeHex(BuildFrame(0, kCmdData, static_cast<std::uint8_t>(slot), kObjPresetImage, 0,
                                sim->PresetImage(slot)));
  };
  std::string all;
  for (int slot = 1; slot <= 20; ++slot) {
    const Bytes bytes = Hex(record(slot));
    engine->OnBytes(bytes);
    if (slot == 5) engine->OnBytes(bytes);  // the same answer twice
    all += record(slot);
  }
  ASSERT_EQ(files.files.count("/pc/b"), 1u);
  EXPECT_EQ(JoinLines(files.files.at("/pc/b")), all);

  view.chosen_paths = {"/pc/c"};
  backup->SaveToPc();
  clock.Advance(100);
  for (const int slot : {1, 2, 3, 4, 6}) engine->OnBytes(Hex(record(slot)));
  EXPECT_FALSE(view.transfer_box);
  EXPECT_EQ(files.files.count("/pc/c"), 0u);
  ASSERT_FALSE(view.messages.empty());
  EXPECT_EQ(view.messages.back(), kMsgOvertimeShort);
}

TEST_F(GroupBackupTest, ReadTimeOutWritesNothing) {
  Connect();
  sim->options().ignore_objects = {kObjPresetImage};
  view.chosen_paths = {"/pc/never"};
  const std::int64_t clicked = clock.NowMs();
  backup->SaveToPc();
  clock.Advance(50 + 25000 - 1);
  EXPECT_TRUE(view.messages.empty());
  clock.Advance(1);
  EXPECT_EQ(view.messages, std::vector<std::string>{"overtime\xEF\xBC\x8Ctry again."});
  EXPECT_EQ(view.message_times.back(), clicked + 25050);
  EXPECT_FALSE(view.transfer_box);
  EXPECT_TRUE(view.dialogs.empty());
  EXPECT_TRUE(files.files.empty());
  // Answers that come later are not collected.
  sim->options().ignore_objects.clear();
  engine->OnBytes(BuildFrame(0, kCmdData, 1, kObjPresetImage, 0, sim->PresetImage(1)));
  EXPECT_TRUE(view.dialogs.empty());
  const std::size_t mark = Mark();
  clock.Advance(1000);
  EXPECT_GE(PollsSince(mark), 1);
  EXPECT_TRUE(engine->Connected());
}

TEST_F(GroupBackupTest, RestoreWritesLineKToSlotKWithTheCurrentDeviceIdThenRereadsTheNames) {
  // The file comes from processor 4 (DeviceId 3), and line 4's record says bank 9.
  const Simulator source(clock, {.demo_content = true});
  std::string text = BackupFile(source, 3);
  text.replace(3 * (1128 + 2) + 10, 2, "09");
  Build({.device_number = 2});
  engine->SetDeviceId(1);
  Connect();
  ASSERT_NE(sim->PresetImage(4), source.PresetImage(4));
  files.files["/pc/b"] = text;
  view.chosen_paths = {"/pc/b"};
  const std::size_t mark = Mark();
  const std::int64_t clicked = clock.NowMs();
  backup->LoadToDevice();
  clock.Advance(23000);

  std::vector<SentFrame> headers;
  std::vector<SentFrame> blocks;
  for (const SentFrame& f : SentSince(mark)) {
    if (f.bytes.size() == 10) headers.push_back(f);
    if (f.bytes.size() == kLongWriteBlockLength) blocks.push_back(f);
  }
  ASSERT_EQ(headers.size(), 20u);
  ASSERT_EQ(blocks.size(), 20u);
  for (int n = 1; n <= 20; ++n) {
    SCOPED_TRACE(n);
    // The sender restarts with the block, so the slots follow 1050 ms apart.
    EXPECT_EQ(headers[n - 1].time_ms, clicked + 1000 + 1050 * (n - 1));
    EXPECT_EQ(blocks[n - 1].time_ms, headers[n - 1].time_ms + 50);
    EXPECT_EQ(Spaced(headers[n - 1].bytes),
              "A5 A5 A5 01 A1 " +
                  Spaced(std::array<std::uint8_t, 1>{static_cast<std::uint8_t>(n)}) +
                  " 29 00 02 28");
    EXPECT_EQ(sim->PresetImage(n), source.PresetImage(n));
  }
  EXPECT_EQ(sim->BadFrames(), 0);
  // One second after the last block the names are asked for, and the list shows the
  // processor's names.
  const std::vector<SentFrame> names = Of(mark, kCmdRequest, kObjPresetNames);
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0].time_ms, blocks.back().time_ms + 1000);
  EXPECT_FALSE(view.transfer_box);
  EXPECT_TRUE(view.operation_panels_enabled);
  EXPECT_EQ(view.preset_entries[0], "Pre1:" + sim->PresetName(1));
  EXPECT_EQ(view.statuses.back().first, StatusNote::kGroupLoaded);
  clock.Advance(1000);
  EXPECT_GE(PollsSince(mark), 1);
  EXPECT_TRUE(view.messages.empty());
}

TEST_F(GroupBackupTest, DamagedBackupFilesSendNothing) {
  Connect();
  const std::string good = BackupFile(*sim, 0);
  const std::string line = good.substr(0, 1130);
  std::string not_hex = good;
  not_hex[5000] = 'x';
  for (const std::string& content : {good + line, good.substr(1130), not_hex, std::string()}) {
    SCOPED_TRACE(content.size());
    files.files["/pc/b"] = content;
    view.chosen_paths = {"/pc/b"};
    view.messages.clear();
    const std::size_t mark = Mark();
    backup->LoadToDevice();
    clock.Advance(3000);
    EXPECT_EQ(view.messages, std::vector<std::string>{"File damaged."});
    EXPECT_TRUE(SentSince(mark).empty());
    EXPECT_GE(PollsSince(mark), 1);
  }
}

TEST_F(GroupBackupTest, BackupOfOneProcessorRestoredIntoAnotherReproducesAllSlots) {
  for (const bool over_hid : {false, true}) {
    SCOPED_TRACE(over_hid ? "HID" : "serial");
    Build({.demo_content = true}, over_hid);
    Connect();
    view.chosen_paths = {"/pc/all"};
    backup->SaveToPc();
    clock.Advance(26000);
    const Simulator& first = *sim;
    std::array<SimImage, 20> slots;
    for (int n = 1; n <= 20; ++n) slots[n - 1] = first.PresetImage(n);
    Disconnect();

    Build({}, over_hid);  // a fresh processor: every slot the default
    Connect();
    view.chosen_paths = {"/pc/all"};
    if (over_hid) hid->ClearSent();
    backup->LoadToDevice();
    clock.Advance(24000);
    for (int n = 1; n <= 20; ++n) EXPECT_EQ(sim->PresetImage(n), slots[n - 1]) << n;
    EXPECT_EQ(sim->BadFrames(), 0);
    if (over_hid) {
      // Each slot: one header report and nine block reports, in order.
      int long_writes = 0;
      for (std::size_t i = 0; i < hid->sent().size(); ++i) {
        const Bytes& r = hid->sent()[i].bytes;
        if (r[5] == kCmdWrite && r[7] == kObjPresetImage) {
          ++long_writes;
          EXPECT_EQ(r[6], long_writes);
          ASSERT_LT(i + 9, hid->sent().size());
          EXPECT_EQ(hid->sent()[i + 9].bytes[42], kEndByte);
        }
      }
      EXPECT_EQ(long_writes, 20);
    }
  }
}

}  // namespace
}  // namespace veltrane::test
