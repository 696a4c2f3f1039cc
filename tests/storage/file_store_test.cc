// Files on the real file system: what a failed read or write says, that an earlier file
// survives a failed write, and that the preset file operation reports it and carries on.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "feature_harness.h"
#include "disk/qt_file_store.h"
#include "storage/image_text.h"

namespace veltrane::test {
namespace {

namespace fs = std::filesystem;

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class FileStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("veltrane-files-" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    fs::permissions(dir_, fs::perms::owner_all);
    fs::remove_all(dir_);
  }
  std::string Path(const char* name) const { return (dir_ / name).string(); }

  fs::path dir_;
  QtFileStore store_;
};

TEST_F(FileStoreTest, WritesReplaceWholeFilesAndReadsRefuseOversizedOnes) {
  const std::string path = Path("preset");
  ASSERT_EQ(store_.WriteAtomically(path, "first\r\n"), "");
  ASSERT_EQ(store_.WriteAtomically(path, "second\r\n"), "");
  EXPECT_EQ(Slurp(path), "second\r\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);

  FileReadResult read = store_.Read(path, 64);
  EXPECT_EQ(read.status, FileReadResult::Status::kOk);
  EXPECT_EQ(read.text, "second\r\n");
  EXPECT_EQ(store_.Read(path, 7).status, FileReadResult::Status::kTooLarge);
  EXPECT_EQ(store_.Read(path, 8).status, FileReadResult::Status::kOk);

  read = store_.Read(Path("vanished"), 64);
  EXPECT_EQ(read.status, FileReadResult::Status::kError);
  EXPECT_EQ(read.error, "No such file or directory");
  fs::create_directory(Path("folder"));
  EXPECT_EQ(store_.Read(Path("folder"), 64).status, FileReadResult::Status::kError);
  EXPECT_NE(store_.WriteAtomically(Path("folder"), "x"), "");
  EXPECT_TRUE(fs::is_directory(Path("folder")));
}

// Run as a user without write access to the folder (root, who ignores the modes, gives
// up its rights in the child process this runs in).
TEST_F(FileStoreTest, AFailedWriteKeepsTheEarlierFile) {
  const std::string path = Path("preset");
  ASSERT_EQ(store_.WriteAtomically(path, "earlier\r\n"), "");
  fs::permissions(dir_, fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
  fs::permissions(path, fs::perms::owner_all | fs::perms::others_read);
  EXPECT_EXIT(
      {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
        const std::string error = store_.WriteAtomically(path, "later\r\n");
        _exit(error.empty() ? 1 : Slurp(path) == "earlier\r\n" ? 0 : 2);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(Slurp(path), "earlier\r\n");
}

// A disk that fills up: the file-size limit makes the final flush fail as a full disk
// does (a small file is written only at that flush). The earlier file must survive whole
// and the reason must be the system's, not "Unknown error".
TEST_F(FileStoreTest, AFullDiskKeepsTheEarlierFileAndSaysWhy) {
  const std::string path = Path("preset");
  const std::string earlier(40, 'E');
  ASSERT_EQ(store_.WriteAtomically(path, earlier), "");
  EXPECT_EXIT(
      {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        limit.rlim_cur = limit.rlim_max = 16;
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(3);
        const std::string error = store_.WriteAtomically(path, std::string(64, 'L'));
        if (error.empty()) _exit(1);
        if (error != "File too large") _exit(4);
        _exit(Slurp(path) == earlier ? 0 : 2);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(Slurp(path), earlier);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1)
      << "no temporary file is left behind";
}

// Only regular files are written: a device such as /dev/full would swallow or refuse the
// bytes, and renaming a temporary file over a device node or a pipe would destroy it. A
// pipe of our own stands for them, so that a failure here harms nothing of the machine's.
TEST_F(FileStoreTest, DevicesAndOtherSpecialFilesAreRefused) {
  const std::string pipe = Path("pipe");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  EXPECT_EQ(store_.WriteAtomically(pipe, "x\r\n"), "Not a regular file");
  EXPECT_TRUE(fs::is_fifo(pipe));
}

class PresetFileOnDiskTest : public FeatureTest {
 protected:
  void SetUp() override {
    FeatureTest::SetUp();
    dir_ = fs::temp_directory_path() / ("veltrane-disk-" + std::to_string(getpid()));
    fs::create_directories(dir_);
    BuildOperations(disk_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path dir_;
  QtFileStore disk_;
};

TEST_F(PresetFileOnDiskTest, FailuresAreSaidAndTheEditorCarriesOn) {
  Connect();
  // The target is a folder: the save says so and the connection goes on.
  view.chosen_paths = {dir_.string()};
  std::size_t mark = Mark();
  file->StoreFile();
  clock.Advance(1000);
  ASSERT_EQ(view.messages.size(), 1u);
  EXPECT_EQ(view.messages[0], "Cannot save \"" + dir_.string() + "\": Is a directory");
  EXPECT_GE(PollsSince(mark), 1);

  // Chosen, then gone before it is read.
  const std::string gone = (dir_ / "gone").string();
  view.chosen_paths = {gone};
  mark = Mark();
  file->LoadFile();
  EXPECT_EQ(view.messages.back(), "Cannot read \"" + gone + "\": No such file or directory");
  clock.Advance(1000);
  EXPECT_GE(PollsSince(mark), 1);
  EXPECT_TRUE(SentSince(mark).empty());

  // And a good file still loads afterwards.
  const std::string good = (dir_ / "good").string();
  ASSERT_EQ(disk_.WriteAtomically(good, EncodeParameterImage(VariedModel()) + "\r\n"), "");
  view.chosen_paths = {good};
  file->LoadFile();
  clock.Advance(200);
  EXPECT_EQ(model.bands, VariedModel().bands);
  EXPECT_TRUE(engine->Connected());
}

}  // namespace
}  // namespace veltrane::test
