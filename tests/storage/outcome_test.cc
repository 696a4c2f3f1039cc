// How each operation on the processor ends, as a value: done with its count, no answer
// with how far it got, a file error with the system's reason, and a second operation
// refused while one runs.

#include "protocol/outcome.h"

#include <gtest/gtest.h>

#include "feature_harness.h"
#include "storage/device_presets.h"
#include "storage/group_backup.h"
#include "storage/image_text.h"
#include "storage/preset_file.h"

namespace veltrane::test {
namespace {

class OutcomeTest : public FeatureTest {
 protected:
  void SetUp() override {
    FeatureTest::SetUp();
    processor->SetOutcomeListener([this](const Outcome& o) { outcomes.push_back(o); });
  }
  std::vector<Outcome> Of(Operation operation) const {
    std::vector<Outcome> out;
    for (const Outcome& o : outcomes) {
      if (o.operation == operation) out.push_back(o);
    }
    return out;
  }
  std::vector<Outcome> outcomes;
};

TEST_F(OutcomeTest, ASecondOperationIsRefusedWhileOneRunsAndTheFirstFinishes) {
  Connect();
  view.chosen_paths = {"/pc/backup"};
  backup->SaveToPc();
  clock.Advance(3000);  // two records in
  ASSERT_TRUE(gate->Busy());
  EXPECT_TRUE(engine->Claimed(kObjPresetImage));  // the records are the backup's
  file->StoreFile();
  file->LoadFile();
  presets->LoadPreset();
  backup->LoadToDevice();
  presets->StorePreset();
  for (const Operation op : {Operation::kReadImage, Operation::kLoadFile, Operation::kRecallPreset,
                             Operation::kRestore, Operation::kStorePreset}) {
    SCOPED_TRACE(static_cast<int>(op));
    ASSERT_EQ(Of(op).size(), 1u);
    EXPECT_EQ(Of(op)[0].kind, OutcomeKind::kBusy);
  }
  clock.Advance(20 * 1200);
  ASSERT_EQ(Of(Operation::kSaveBackup).size(), 1u);
  EXPECT_TRUE(Of(Operation::kSaveBackup)[0].ok());
  EXPECT_EQ(Of(Operation::kSaveBackup)[0].file, "/pc/backup");
  EXPECT_EQ(Of(Operation::kReadSlots)[0].done, 20);
  EXPECT_TRUE(files.files.contains("/pc/backup"));
  // Each operation gave back what it claimed, however it ended.
  EXPECT_FALSE(engine->Claimed(kObjPresetImage));
  EXPECT_FALSE(engine->Claimed(kObjImage));
}

TEST_F(OutcomeTest, EveryEndIsReportedWithHowFarItGot) {
  Connect();
  // A file the system will not write: the reason is the system's.
  files.write_errors["/full/live"] = "No space left on device";
  view.chosen_paths = {"/full/live"};
  file->StoreFile();
  clock.Advance(3000);
  ASSERT_EQ(Of(Operation::kStoreFile).size(), 1u);
  EXPECT_EQ(Of(Operation::kStoreFile)[0].kind, OutcomeKind::kFileError);
  EXPECT_EQ(Of(Operation::kStoreFile)[0].reason, "No space left on device");
  EXPECT_EQ(Of(Operation::kStoreFile)[0].file, "/full/live");
  EXPECT_FALSE(engine->Claimed(kObjImage));

  // A restore runs to its end: all 20 slots.
  std::vector<std::string> lines(
      20, EncodeHex(BuildFrame(0, kCmdData, 1, kObjPresetImage, 0, sim->PresetImage(2))));
  files.files["/pc/rack"] = FileLines(lines);
  view.chosen_paths = {"/pc/rack"};
  backup->LoadToDevice();
  clock.Advance(24000);
  ASSERT_EQ(Of(Operation::kRestore).size(), 1u);
  EXPECT_TRUE(Of(Operation::kRestore)[0].ok());
  EXPECT_EQ(Of(Operation::kRestore)[0].done, 20);

  // A processor that stops answering after three records.
  view.chosen_paths = {"/pc/backup"};
  backup->SaveToPc();
  clock.Advance(100 + 3 * 1200 + 200);
  sim->options().silent = true;
  clock.Advance(26000);
  ASSERT_EQ(Of(Operation::kReadSlots).size(), 1u);
  EXPECT_EQ(Of(Operation::kReadSlots)[0].kind, OutcomeKind::kNoAnswer);
  EXPECT_EQ(Of(Operation::kReadSlots)[0].done, 3);
  EXPECT_EQ(Of(Operation::kReadSlots)[0].text, kMsgOvertimeShort);
  EXPECT_TRUE(Of(Operation::kSaveBackup).empty());
  EXPECT_FALSE(engine->Claimed(kObjPresetImage));

  // The connection's own end: the poll unanswered.
  clock.Advance(5000);
  ASSERT_EQ(Of(Operation::kConnect).size(), 1u);
  EXPECT_EQ(Of(Operation::kConnect)[0].kind, OutcomeKind::kLinkLost);
  EXPECT_EQ(Of(Operation::kConnect)[0].text, kMsgInterrupt);
}

}  // namespace
}  // namespace veltrane::test
