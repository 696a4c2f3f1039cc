#pragma once

// Which device numbers answer on a serial line shared by several processors: the
// keep-alive poll goes to each number in turn, and the line is listened to for a short
// while. A sound answer means a processor has that number; bytes that make no sound
// answer mean two (or more) processors answered at once: a duplicated number.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "protocol/link.h"
#include "protocol/timer.h"

namespace veltrane {

// Long enough for the poll (12 bytes) and a 20-byte answer at 9600 baud, with the serial
// link's 50 ms of gathering and a margin; far below a connection's 2 s.
inline constexpr int kDefaultScanReplyMs = 120;
// A request is 12 bytes, 12.5 ms at 9600 baud: no answer can begin before it has left.
inline constexpr int kMinScanReplyMs = 13;

struct LineScanEntry {
  int device_number = 0;
  bool garbled = false;  // bytes came, but no sound answer: a possible duplicate number
  friend bool operator==(const LineScanEntry&, const LineScanEntry&) = default;
};

class LineScanner {
 public:
  using Progress = std::function<void(int device_number)>;
  using Done = std::function<void(std::vector<LineScanEntry> found)>;

  LineScanner(TimerHost& timers, SerialPort& port);
  ~LineScanner();
  LineScanner(const LineScanner&) = delete;
  LineScanner& operator=(const LineScanner&) = delete;

  // Bytes received on the port while a scan runs (the caller wires its receiver here).
  void OnBytes(std::span<const std::uint8_t> bytes);

  // Opens the port, polls device numbers first..last (1..256) waiting up to reply_ms for
  // each, closes the port and hands over what answered. False when the port would not open.
  bool Start(const std::string& port_name, int first, int last, int reply_ms, Progress progress,
             Done done);
  bool Running() const { return running_; }
  // Stops at once: the port is closed and Done gets what answered so far.
  void Cancel();
  // The number being asked, or the last one asked once the scan ended.
  int CurrentNumber() const { return number_; }

 private:
  void Ask();
  void Judge();
  void Finish();
  bool SoundAnswer() const;

  TimerHost& timers_;
  SerialPort& port_;
  std::unique_ptr<Timer> wait_;
  bool running_ = false;
  int number_ = 0;
  int last_ = 0;
  std::vector<std::uint8_t> heard_;
  std::vector<LineScanEntry> found_;
  Progress progress_;
  Done done_;
};

}  // namespace veltrane
