// The front-panel lock against the simulated processor: a locked processor at connect,
// wrong and right passwords, the lock dialog, and the six-character rule.

#include "access/panel_lock.h"

#include "feature_harness.h"

namespace veltrane::test {
namespace {

class PanelLockTest : public FeatureTest {
 protected:
  void SetUp() override { Build({.locked_at_start = true, .password = "aB3dE9"}); }

  std::vector<SentFrame> WritesOf(std::uint8_t object, std::size_t from) const {
    std::vector<SentFrame> out;
    for (const SentFrame& f : SentSince(from)) {
      if (CommandOf(f.bytes) == kCmdWrite && ObjectOf(f.bytes) == object) out.push_back(f);
    }
    return out;
  }
};

TEST_F(PanelLockTest, LockedProcessorBlocksTheEditorUntilTheRightPassword) {
  Connect();
  EXPECT_FALSE(view.main_window_enabled);
  EXPECT_TRUE(view.lock_label);
  EXPECT_TRUE(view.unlock_dialog);
  // The names are still read and the scheduler runs, so the unlock frame can leave.
  EXPECT_EQ(view.preset_entries.size(), 20u);

  std::size_t mark = Mark();
  lock->SendUnlock("wrong1");
  clock.Advance(600);
  ASSERT_EQ(WritesOf(kObjUnlock, mark).size(), 1u);
  EXPECT_EQ(view.cleared, std::vector<std::string>{"unlock"});  // status 1: try again
  EXPECT_EQ(view.wrong_passwords, 1);
  EXPECT_TRUE(view.unlock_dialog);
  EXPECT_TRUE(lock->Locked());

  mark = Mark();
  lock->SendUnlock("aB3dE9");
  clock.Advance(600);
  const std::vector<SentFrame> sent = WritesOf(kObjUnlock, mark);
  ASSERT_EQ(sent.size(), 1u);
  // The characters as typed, case kept, two zero bytes, XOR checksum.
  EXPECT_EQ(Spaced(sent[0].bytes), "A5 A5 A5 00 A1 00 22 00 00 08 61 42 33 64 45 39 00 00 83 AA");
  EXPECT_FALSE(sim->Locked());
  EXPECT_TRUE(view.main_window_enabled);
  EXPECT_FALSE(view.lock_label);
  EXPECT_FALSE(view.unlock_dialog);
  EXPECT_FALSE(lock->Locked());
  EXPECT_TRUE(view.messages.empty());

  lock->Quit();
  EXPECT_EQ(view.quits, 1);
}

TEST_F(PanelLockTest, OnlySixLettersOrDigitsAreSent) {
  Connect();
  const std::size_t mark = Mark();
  for (const char* bad : {"abc12", "abc1234", "abc!12", ""}) {
    SCOPED_TRACE(bad);
    view.cleared.clear();
    view.messages.clear();
    lock->SendUnlock(bad);
    EXPECT_EQ(view.messages, std::vector<std::string>{"Please input six characters!"});
    EXPECT_EQ(view.cleared, std::vector<std::string>{"unlock"});
    EXPECT_EQ(view.wrong_passwords, 0);  // nothing was asked of the processor
  }
  clock.Advance(600);
  EXPECT_TRUE(WritesOf(kObjUnlock, mark).empty());

  // Without a connection "OK" does nothing at all.
  Disconnect();
  view.messages.clear();
  lock->SendUnlock("aB3dE9");
  clock.Advance(600);
  EXPECT_TRUE(view.messages.empty());
  EXPECT_TRUE(WritesOf(kObjUnlock, mark).empty());
  EXPECT_FALSE(view.main_window_enabled);  // disconnecting keeps the lock state
}

TEST_F(PanelLockTest, LockDialogLocksTheProcessorAndTheEditor) {
  Build({.password = "aB3dE9"});
  lock->OpenLockDialog();  // only while connected
  EXPECT_FALSE(view.lock_dialog);
  EXPECT_TRUE(view.main_window_enabled);

  Connect();
  lock->OpenLockDialog();
  EXPECT_TRUE(view.lock_dialog);
  EXPECT_FALSE(view.main_window_enabled);
  lock->CancelLockDialog();
  EXPECT_FALSE(view.lock_dialog);
  EXPECT_TRUE(view.main_window_enabled);

  lock->OpenLockDialog();
  lock->SendLock("Zz9Zz9");
  clock.Advance(600);
  EXPECT_TRUE(sim->Locked());
  EXPECT_TRUE(lock->Locked());
  EXPECT_FALSE(view.lock_dialog);  // its Cancel must not enable a locked editor
  EXPECT_TRUE(view.unlock_dialog);
  EXPECT_TRUE(view.lock_label);
  EXPECT_FALSE(view.main_window_enabled);
  lock->CancelLockDialog();
  EXPECT_FALSE(view.main_window_enabled);

  lock->SendUnlock("Zz9Zz9");
  clock.Advance(600);
  EXPECT_FALSE(sim->Locked());
  EXPECT_TRUE(view.main_window_enabled);

  // A lock result with any status but 1 changes nothing; with no connection none counts.
  const std::array<std::uint8_t, 8> unlocked{'Z', 'z', '9', 'Z', 'z', '9', 0, 0};
  engine->OnBytes(BuildFrame(0, kCmdAck, 0, kObjLock, 0, unlocked));
  EXPECT_FALSE(view.unlock_dialog);
  EXPECT_TRUE(view.main_window_enabled);
  Disconnect();
  std::array<std::uint8_t, 8> locked = unlocked;
  locked[6] = 1;
  engine->OnBytes(BuildFrame(0, kCmdAck, 0, kObjLock, 0, locked));
  EXPECT_FALSE(view.unlock_dialog);
  EXPECT_TRUE(view.main_window_enabled);
}

}  // namespace
}  // namespace veltrane::test
