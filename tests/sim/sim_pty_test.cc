// veltrane-sim as a separate program on a real pseudo-terminal, in real time.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

#include "frame/frame_codec.h"

extern char** environ;

namespace veltrane {
namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr auto kPatience = std::chrono::seconds(5);

int MsLeft(SteadyClock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
  return static_cast<int>(std::max<std::int64_t>(left.count(), 0));
}

// Up to `count` bytes, or what arrived by the deadline.
Bytes ReadUpTo(int fd, std::size_t count, SteadyClock::time_point deadline) {
  Bytes out;
  while (out.size() < count) {
    pollfd p{fd, POLLIN, 0};
    const int ready = poll(&p, 1, MsLeft(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    std::array<std::uint8_t, 1024> buffer{};
    const ssize_t n = read(fd, buffer.data(), std::min(buffer.size(), count - out.size()));
    if (n > 0) {
      out.insert(out.end(), buffer.begin(), buffer.begin() + n);
    } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
      break;
    }
  }
  return out;
}

int OpenRaw(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return fd;
  termios tio{};
  tcgetattr(fd, &tio);
  cfmakeraw(&tio);
  tcsetattr(fd, TCSANOW, &tio);
  return fd;
}

bool WriteAll(int fd, std::span<const std::uint8_t> bytes) {
  return write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

class SimProcess {
 public:
  explicit SimProcess(std::vector<std::string> args) {
    int out[2];
    if (pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    args.insert(args.begin(), VELTRANE_SIM_PATH);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, VELTRANE_SIM_PATH, &actions, nullptr, argv.data(), environ) != 0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    stdout_ = out[0];
  }
  ~SimProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (stdout_ >= 0) close(stdout_);
  }

  bool started() const { return pid_ > 0; }

  std::string ReadLine(SteadyClock::time_point deadline) {
    std::string line;
    for (;;) {
      const Bytes b = ReadUpTo(stdout_, 1, deadline);
      if (b.empty() || b[0] == '\n') return line;
      line += static_cast<char>(b[0]);
    }
  }

  // The exit status after the signal; the test's own time-out guards against a hang.
  int SignalAndWait(int signal) {
    kill(pid_, signal);
    return Wait();
  }
  int Wait() {
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return status;
  }

 private:
  pid_t pid_ = -1;
  int stdout_ = -1;
};

class SimPtyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string dir_template = ::testing::TempDir() + "veltrane-sim-XXXXXX";
    ASSERT_NE(mkdtemp(dir_template.data()), nullptr);
    dir_ = dir_template;
    link_ = dir_ + "/port";
  }
  void TearDown() override {
    unlink(link_.c_str());
    rmdir(dir_.c_str());
  }

  std::string dir_;
  std::string link_;
};

TEST_F(SimPtyTest, AnswersOnThePseudoTerminalAndCleansUpOnSigint) {
  SimProcess sim({"--link", link_});
  ASSERT_TRUE(sim.started());
  const std::string path = sim.ReadLine(SteadyClock::now() + kPatience);
  ASSERT_FALSE(path.empty());
  std::array<char, 256> target{};
  const ssize_t n = readlink(link_.c_str(), target.data(), target.size() - 1);
  ASSERT_GT(n, 0);
  EXPECT_EQ(std::string(target.data(), static_cast<std::size_t>(n)), path);

  int fd = OpenRaw(link_);
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(WriteAll(fd, BuildShortRequest(0, 0, kObjImage)));
  const Bytes image = ReadUpTo(fd, kImageFrameLength, SteadyClock::now() + kPatience);
  ASSERT_EQ(image.size(), kImageFrameLength);
  EXPECT_EQ(EncodeHex(std::span(image).first(10)), "A5A5A500520028000228");
  EXPECT_EQ(image[562], FrameChecksum(image, 561));
  EXPECT_EQ(image[563], kEndByte);

  // The terminal outlives the editor closing its port, as a COM port would.
  close(fd);
  fd = OpenRaw(path);
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(WriteAll(fd, BuildShortRequest(0, 0, kObjPoll)));
  const Bytes poll_answer = ReadUpTo(fd, 20, SteadyClock::now() + kPatience);
  EXPECT_EQ(EncodeHex(poll_answer), "A5A5A50052002B000008" + std::string(16, '0') + "71AA");
  close(fd);

  const int status = sim.SignalAndWait(SIGINT);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  struct stat st {};
  EXPECT_NE(lstat(link_.c_str(), &st), 0) << "the link is removed on exit";
}

TEST_F(SimPtyTest, SigtermEndsItCleanlyAndBadOptionsAreRefused) {
  SimProcess sim({"--locked", "--password", "Ab12Cd", "--link", link_});
  ASSERT_TRUE(sim.started());
  ASSERT_FALSE(sim.ReadLine(SteadyClock::now() + kPatience).empty());
  const int status = sim.SignalAndWait(SIGTERM);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  struct stat st {};
  EXPECT_NE(lstat(link_.c_str(), &st), 0);

  for (const char* bad : {"--frobnicate", "--password"}) {
    SimProcess refused({bad, "12"});
    ASSERT_TRUE(refused.started());
    EXPECT_EQ(refused.ReadLine(SteadyClock::now() + kPatience), "") << bad;
    const int refused_status = refused.Wait();
    ASSERT_TRUE(WIFEXITED(refused_status)) << bad;
    EXPECT_EQ(WEXITSTATUS(refused_status), 2) << bad;
  }
}

}  // namespace
}  // namespace veltrane
