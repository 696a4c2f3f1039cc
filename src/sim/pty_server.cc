#include "sim/pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "sim/realtime_timer_host.h"
#include "sim/sim_line.h"

namespace veltrane {
namespace {

// Replies nobody reads are dropped beyond this, as a serial line with no listener loses them.
constexpr std::size_t kMaxPendingOutput = 64 * 1024;

void SetCloseOnExec(int fd) { fcntl(fd, F_SETFD, fcntl(fd, F_GETFD) | FD_CLOEXEC); }

std::string ErrnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

void CloseFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

}  // namespace

PtyServer::PtyServer(PtyServerOptions options) : options_(std::move(options)) {
  // A server runs for hours; counters are enough.
  options_.sim.keep_log = false;
}

PtyServer::~PtyServer() { Stop(); }

std::string PtyServer::Fail(const std::string& what) {
  error_ = ErrnoText(what);
  CloseAll();
  return {};
}

std::string PtyServer::Start() {
  if (running_ || thread_.joinable()) return slave_path_;
  error_.clear();
  master_ = posix_openpt(O_RDWR | O_NOCTTY);
  if (master_ < 0) return Fail("posix_openpt");
  SetCloseOnExec(master_);
  if (grantpt(master_) != 0 || unlockpt(master_) != 0) return Fail("grantpt");
  std::array<char, 256> name{};
  if (ptsname_r(master_, name.data(), name.size()) != 0) {
    return Fail("ptsname");
  }
  slave_path_ = name.data();

  slave_ = open(slave_path_.c_str(), O_RDWR | O_NOCTTY);
  if (slave_ < 0) return Fail("open " + slave_path_);
  SetCloseOnExec(slave_);
  termios tio{};
  if (tcgetattr(slave_, &tio) != 0) return Fail("tcgetattr");
  cfmakeraw(&tio);
  cfsetispeed(&tio, B9600);
  cfsetospeed(&tio, B9600);
  if (tcsetattr(slave_, TCSANOW, &tio) != 0) return Fail("tcsetattr");
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);

  int wake[2];
  if (pipe(wake) != 0) return Fail("pipe");
  wake_read_ = wake[0];
  wake_write_ = wake[1];
  SetCloseOnExec(wake_read_);
  SetCloseOnExec(wake_write_);

  if (!options_.link_path.empty()) {
    // A link left behind by an earlier run that was killed is replaced; anything else at
    // that path is not ours to remove.
    struct stat st {};
    if (lstat(options_.link_path.c_str(), &st) == 0) {
      errno = EEXIST;
      if (!S_ISLNK(st.st_mode) || unlink(options_.link_path.c_str()) != 0) {
        return Fail(options_.link_path);
      }
    }
    if (symlink(slave_path_.c_str(), options_.link_path.c_str()) != 0) {
      return Fail("symlink " + options_.link_path);
    }
    link_made_ = true;
  }

  running_ = true;
  thread_ = std::thread([this] { Loop(); });
  return slave_path_;
}

void PtyServer::Stop() {
  if (thread_.joinable()) {
    const char wake = 'q';
    if (write(wake_write_, &wake, 1) < 0) {
      // The pipe cannot be full or closed while the loop runs; nothing else to do.
    }
    thread_.join();
  }
  CloseAll();
}

void PtyServer::CloseAll() {
  running_ = false;
  if (link_made_) {
    // Only our own link: someone may have put something else there meanwhile.
    std::array<char, 256> target{};
    const ssize_t n = readlink(options_.link_path.c_str(), target.data(), target.size() - 1);
    if (n >= 0 && slave_path_ == std::string(target.data(), static_cast<std::size_t>(n))) {
      unlink(options_.link_path.c_str());
    }
    link_made_ = false;
  }
  CloseFd(master_);
  CloseFd(slave_);
  CloseFd(wake_read_);
  CloseFd(wake_write_);
}

bool PtyServer::Flush() {
  while (!out_.empty()) {
    const ssize_t n = write(master_, out_.data(), out_.size());
    if (n > 0) {
      out_.erase(out_.begin(), out_.begin() + n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
  }
  return true;
}

void PtyServer::Loop() {
  RealtimeTimerHost host;
  const std::vector<int> devices =
      options_.devices.empty() ? std::vector<int>{options_.sim.device_number} : options_.devices;
  SimLine line(host, devices, options_.sim);
  for (const DeviceLateness& late : options_.late_devices) {
    line.SetLate(late.device_number, late.late_ms);
  }
  line.SetSerialSink([this](std::span<const std::uint8_t> bytes) {
    out_.insert(out_.end(), bytes.begin(), bytes.end());
    if (out_.size() > kMaxPendingOutput) {
      out_.erase(out_.begin(), out_.end() - static_cast<std::ptrdiff_t>(kMaxPendingOutput));
    }
  });
  if (options_.verbose) {
    for (std::size_t i = 0; i < line.size(); ++i) {
      line.Device(i).SetTrace(
          [&host, number = devices[i]](bool incoming, std::span<const std::uint8_t> frame) {
            std::fprintf(stderr, "%8lld ms #%d %s %s\n", static_cast<long long>(host.NowMs()),
                         number, incoming ? "rx" : "tx", EncodeHex(frame).c_str());
          });
    }
  }

  std::array<std::uint8_t, 4096> buffer{};
  bool failed = false;
  while (!failed) {
    pollfd fds[2] = {{master_, static_cast<short>(POLLIN | (out_.empty() ? 0 : POLLOUT)), 0},
                     {wake_read_, POLLIN, 0}};
    const int ready = poll(fds, 2, host.MsUntilNext());
    if (ready < 0 && errno != EINTR) {
      error_ = ErrnoText("poll");
      failed = true;
      break;
    }
    if (ready > 0 && fds[1].revents != 0) break;  // Stop()
    if (ready > 0 && (fds[0].revents & POLLIN) != 0) {
      const ssize_t n = read(master_, buffer.data(), buffer.size());
      if (n > 0) {
        line.OnSerialBytes(std::span(buffer).first(static_cast<std::size_t>(n)));
      } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
        error_ = ErrnoText("read");
        failed = true;
      }
    } else if (ready > 0 && (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
      // With our own slave descriptor open this does not happen; if it does, the
      // terminal is gone and polling it again would only spin.
      error_ = "pseudo-terminal hung up";
      failed = true;
    }
    host.RunDue();
    if (!Flush()) {
      error_ = ErrnoText("write");
      failed = true;
    }
  }
  running_ = false;
  if (failed && on_failure_) on_failure_();
}

}  // namespace veltrane
