// The preset file against the simulated processor on a virtual clock: saving the
// processor's image or the editor's model, loading with its checks, the long write into
// the live settings, and what happens when the processor or the file system fails.

#include "storage/preset_file.h"

#include "feature_harness.h"
#include "storage/image_text.h"

namespace veltrane::test {
namespace {

class PresetFileTest : public FeatureTest {
 protected:
  // The image of `m` as the processor would send it from DeviceId `id`, checksum `sum`.
  static std::string ImageText(const ParameterModel& m, std::uint8_t id, std::uint8_t sum) {
    std::string text = EncodeParameterImage(m);
    text.replace(6, 2, EncodeHex(std::array<std::uint8_t, 1>{id}));
    text.replace(1124, 2, EncodeHex(std::array<std::uint8_t, 1>{sum}));
    return text;
  }
  std::vector<SentFrame> LongWrites(std::size_t from) const {
    std::vector<SentFrame> out;
    for (const SentFrame& f : SentSince(from)) {
      if (CommandOf(f.bytes) == kCmdWrite && f.bytes.size() >= 10 && f.bytes[8] == 0x02) {
        out.push_back(f);
      }
    }
    return out;
  }
};

TEST_F(PresetFileTest, WithoutALinkTheModelRoundTripsByteExact) {
  Build({});
  model = VariedModel();
  view.chosen_paths = {"/pc/tuning"};
  file->StoreFile();
  ASSERT_EQ(view.dialogs.size(), 1u);
  EXPECT_TRUE(view.dialogs[0].save);
  EXPECT_EQ(view.dialogs[0].default_name, "Preset_file");
  EXPECT_EQ(view.dialogs[0].filter, "Preset_data_file");
  const std::string written = files.files.at("/pc/tuning");
  const std::string encoded = EncodeParameterImage(model);
  EXPECT_EQ(written, encoded + "\r\n");
  // Header 00 00 00, lock byte and the bytes no block uses 00; the real bypass bytes.
  EXPECT_EQ(written.substr(0, 20), "A5A5A500520028000228");
  EXPECT_EQ(written.substr(1044, 84), std::string(82, '0') + "AA");
  EXPECT_EQ(HexByteAt(written, 2 * 16 + 1), 1);  // In A's bypass

  model = ParameterModel{};
  view.chosen_paths = {"/pc/tuning"};
  file->LoadFile();
  EXPECT_EQ(view.dialogs.back().filter, "Preset_file");
  EXPECT_FALSE(view.dialogs.back().save);
  EXPECT_EQ(EncodeParameterImage(model), encoded);
  EXPECT_EQ(view.statuses, (std::vector<std::pair<StatusNote, int>>{{StatusNote::kFileLoaded, 0}}));
  EXPECT_FALSE(engine->Connected());
  EXPECT_TRUE(port->sent().empty());
  EXPECT_TRUE(view.messages.empty());
}

TEST_F(PresetFileTest, WithALinkTheProcessorsImageIsSavedNotApplied) {
  Connect();
  const ParameterModel shown = model;
  ParameterModel other = VariedModel();
  other.panel_locked = 0;
  sim->state().SetLiveImage([&] {
    SimImage image{};
    const std::string text = EncodeParameterImage(other);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = HexByteAt(text, 21 + 2 * i);
    return image;
  }());
  view.chosen_paths = {"/pc/from-device"};
  const std::size_t mark = Mark();
  const std::int64_t clicked = clock.NowMs();
  const int hides = view.detail_hides;
  file->StoreFile();
  EXPECT_EQ(view.detail_hides, hides + 1);
  clock.Advance(49);
  EXPECT_TRUE(SentSince(mark).empty());
  clock.Advance(1000);
  ASSERT_FALSE(SentSince(mark).empty());
  EXPECT_EQ(SentSince(mark)[0].time_ms, clicked + 50);
  EXPECT_EQ(Spaced(SentSince(mark)[0].bytes), "A5 A5 A5 00 A2 00 28 00 00 00 8A AA");
  EXPECT_EQ(files.files.at("/pc/from-device"), EncodeHex(sim->state().ImageReply(0)) + "\r\n");
  EXPECT_EQ(model, shown);
  EXPECT_GE(PollsSince(mark), 1);  // the poll and the slot scan run again
  EXPECT_TRUE(view.messages.empty());
}

TEST_F(PresetFileTest, AnUnansweredSaveTimesOutAfter12s) {
  Connect();
  sim->options().ignore_objects = {kObjImage};
  const std::int64_t clicked = clock.NowMs();
  file->StoreFile();
  clock.Advance(12000 - 1);
  EXPECT_TRUE(view.messages.empty());
  clock.Advance(1);
  EXPECT_EQ(view.messages, std::vector<std::string>{"overtime\xEF\xBC\x8Ctry again."});
  EXPECT_EQ(view.message_times.back(), clicked + 12000);
  EXPECT_FALSE(file->SavePending());
  const std::size_t mark = Mark();
  clock.Advance(2000);
  EXPECT_GE(PollsSince(mark), 3);
  EXPECT_TRUE(engine->Connected());
  // The next image is a plain one again: applied, not saved.
  engine->OnBytes(test::Sealed(Hex(EncodeParameterImage(VariedModel()))));
  EXPECT_TRUE(view.dialogs.empty());
  EXPECT_EQ(model.channels[kOut1].gain, VariedModel().channels[kOut1].gain);
}

TEST_F(PresetFileTest, LoadWritesTheImageWithTheCurrentDeviceIdAndKeepsTheLockState) {
  Build({.device_number = 2});
  engine->SetDeviceId(1);
  Connect();
  ParameterModel in_file = VariedModel();
  in_file.panel_locked = 1;
  std::string text = ImageText(in_file, 3, 0x5A);  // another processor, a wrong checksum
  text.replace(2 * 522, 2, "01");                  // and a locked panel
  // Lower-case digits, spread over three lines.
  std::string lower = text;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  files.files["/pc/file"] =
      lower.substr(0, 400) + "\r\n" + lower.substr(400, 400) + "\n" + lower.substr(800) + "\r\n";
  view.chosen_paths = {"/pc/file"};
  const std::size_t mark = Mark();
  const std::int64_t clicked = clock.NowMs();
  file->LoadFile();
  EXPECT_TRUE(view.transfer_box);
  EXPECT_FALSE(view.operation_panels_enabled);
  clock.Advance(200);

  const std::vector<SentFrame> sent = SentSince(mark);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(Spaced(sent[0].bytes), "A5 A5 A5 01 A1 00 28 00 02 28");
  EXPECT_EQ(sent[0].time_ms, clicked);
  EXPECT_EQ(sent[1].time_ms, clicked + 100);
  ASSERT_EQ(sent[1].bytes.size(), kLongWriteBlockLength);
  Bytes whole = sent[0].bytes;
  whole.insert(whole.end(), sent[1].bytes.begin(), sent[1].bytes.end());
  EXPECT_EQ(whole.back(), kEndByte);
  EXPECT_EQ(whole[whole.size() - 2], FrameChecksum(whole, whole.size() - 3));
  // Bytes 10 to 561 go out as the file has them; the processor took them (it keeps its
  // own lock state).
  EXPECT_EQ(EncodeHex(std::span(sent[1].bytes).first(kImageDataLength)),
            text.substr(20, 2 * kImageDataLength));
  EXPECT_EQ(sim->BadFrames(), 0);
  EXPECT_EQ(ModelOfImage(sim->LiveImage()).bands, in_file.bands);

  // The editor shows the file, but not its lock byte, and echoes nothing.
  ParameterModel expected = in_file;
  expected.panel_locked = 0;
  EXPECT_EQ(model, expected);
  EXPECT_FALSE(view.unlock_dialog);
  // 25 ticks of 350 ms, then the panels come back and the poll runs again.
  clock.Advance(25 * 350 - 200 - 1);
  EXPECT_TRUE(view.transfer_box);
  EXPECT_TRUE(view.statuses.empty());  // not done before the transfer box goes
  clock.Advance(1);
  EXPECT_FALSE(view.transfer_box);
  EXPECT_EQ(view.statuses, (std::vector<std::pair<StatusNote, int>>{{StatusNote::kFileLoaded, 0}}));
  EXPECT_TRUE(view.operation_panels_enabled);
  EXPECT_EQ(view.transfer_progress.back(), 100);
  EXPECT_EQ(PollsSince(mark), 0);
  clock.Advance(600);
  EXPECT_GE(PollsSince(mark), 1);
  EXPECT_EQ(SentSince(mark).size(), 2u);
  EXPECT_TRUE(view.messages.empty());
}

TEST_F(PresetFileTest, DamagedOrUnreadableFilesSendNothingAndRestartThePoll) {
  const std::string good = EncodeParameterImage(VariedModel());
  std::string bad_pair = good;
  bad_pair[501] = 'G';
  struct Case {
    const char* what;
    std::string content;
    std::string message;
  };
  const Case cases[] = {
      {"one blank too many", good + " ", "File damaged."},
      {"empty", "", "File damaged."},
      {"not hex", bad_pair, "File damaged."},
      {"one line short", good.substr(0, 1126), "File damaged."},
      {"far too large", std::string(70000, 'A'), "File damaged."},
  };
  Connect();
  const ParameterModel before = model;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    files.files["/pc/x"] = c.content;
    view.chosen_paths = {"/pc/x"};
    view.messages.clear();
    const std::size_t mark = Mark();
    file->LoadFile();
    EXPECT_EQ(view.messages, std::vector<std::string>{c.message});
    clock.Advance(1000);
    EXPECT_TRUE(SentSince(mark).empty());
    EXPECT_GE(PollsSince(mark), 1);
    EXPECT_EQ(model, before);
  }
  // Cancelled, or unreadable: the poll runs again; the reason names the file.
  std::size_t mark = Mark();
  view.messages.clear();
  file->LoadFile();  // no path scripted: cancelled
  clock.Advance(1000);
  EXPECT_GE(PollsSince(mark), 1);
  files.read_errors["/pc/gone"] = "No such file or directory";
  view.chosen_paths = {"/pc/gone"};
  file->LoadFile();
  EXPECT_EQ(view.messages,
            std::vector<std::string>{"Cannot read \"/pc/gone\": No such file or directory"});
  files.write_errors["/ro/f"] = "Permission denied";
  view.chosen_paths = {"/ro/f"};
  mark = Mark();
  file->StoreFile();
  clock.Advance(1000);
  EXPECT_EQ(view.messages.back(), "Cannot save \"/ro/f\": Permission denied");
  EXPECT_GE(PollsSince(mark), 1);
  EXPECT_TRUE(engine->Connected());
}

TEST_F(PresetFileTest, OverHidTheLongWriteIsOneHeaderAndNineBlockReports) {
  Build({.demo_content = true}, /*over_hid=*/true);
  Connect();
  files.files["/pc/f"] = EncodeParameterImage(VariedModel());
  view.chosen_paths = {"/pc/f"};
  hid->ClearSent();
  file->LoadFile();
  clock.Advance(200);
  ASSERT_EQ(hid->sent().size(), 10u);
  EXPECT_EQ(Spaced(std::span(hid->sent()[0].bytes).first(12)),
            "00 A5 A5 A5 00 A1 00 28 00 02 28 00");
  EXPECT_EQ(hid->sent()[9].bytes[42], kEndByte);  // 40 data bytes, the checksum and AA
  EXPECT_EQ(sim->BadFrames(), 0);
  EXPECT_EQ(ModelOfImage(sim->LiveImage()), VariedModel());
}

}  // namespace
}  // namespace veltrane::test
