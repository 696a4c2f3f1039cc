#pragma once

// The simulator behind a pseudo-terminal, so that a program opening the terminal's slave
// side as a serial port talks to it as to a processor on a COM port. Used by veltrane-sim
// and by the editor's demo mode. POSIX systems only.
//
// The server keeps a descriptor of the slave side open for as long as it runs: without
// it, every time the editor closed the port the master would see a hang-up (EIO, POLLHUP)
// and the terminal would be lost to the next connection.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "sim/sim_line.h"
#include "sim/simulator.h"

namespace veltrane {

struct PtyServerOptions {
  SimOptions sim;
  // Several processors on the one line; empty: one, with sim.device_number.
  std::vector<int> devices;
  // Processors that answer later than the others (on top of sim.late_ms for none).
  std::vector<DeviceLateness> late_devices;
  // A symbolic link to the slave made while the server runs; empty: none.
  std::string link_path;
  // Every frame received and every reply, as hex text on stderr.
  bool verbose = false;
};

class PtyServer {
 public:
  explicit PtyServer(PtyServerOptions options);
  ~PtyServer();  // stops
  PtyServer(const PtyServer&) = delete;
  PtyServer& operator=(const PtyServer&) = delete;

  // Opens the terminal, makes the link and serves on a thread of its own. Returns the
  // slave's path, or an empty string with error() set.
  std::string Start();
  // Ends the loop, joins its thread, closes the terminal and removes the link. Safe to
  // call more than once; must not be called from the failure callback.
  void Stop();

  // Runs on the server's thread when the loop ends by itself (the terminal failed).
  void SetOnFailure(std::function<void()> on_failure) { on_failure_ = std::move(on_failure); }

  bool running() const { return running_; }
  const std::string& slave_path() const { return slave_path_; }
  const std::string& error() const { return error_; }

 private:
  void Loop();
  bool Flush();  // false on a write error
  void CloseAll();
  std::string Fail(const std::string& what);  // sets error(), closes, returns ""

  PtyServerOptions options_;
  std::string slave_path_;
  std::string error_;
  int master_ = -1;
  int slave_ = -1;
  int wake_read_ = -1;
  int wake_write_ = -1;
  bool link_made_ = false;
  std::vector<std::uint8_t> out_;  // replies the terminal has not taken yet (loop thread)
  std::function<void()> on_failure_;
  std::atomic<bool> running_{false};
  std::thread thread_;
};

}  // namespace veltrane
