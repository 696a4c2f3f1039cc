#pragma once

// Which device numbers answer on a serial line shared by several processors: the
// keep-alive poll goes to each number in turn, and the line is listened to for a while.
// What is heard is split into frames, and each sound poll answer is credited to the
// device number its address byte carries, whenever it comes: a processor that answers
// late, during the next number's wait, is still found at its own number and never at
// the next. Bytes that make no sound answer mean two (or more) processors answered at
// once: a duplicated number.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "protocol/link.h"
#include "protocol/timer.h"

namespace veltrane {

// 10 bits a byte at 9600 baud.
inline constexpr double kScanMsPerByte = 10.0 * 1000.0 / 9600.0;
// The poll is 12 bytes, 12.5 ms on the wire: no answer can begin before it has left.
inline constexpr int kScanRequestWireMs = 13;
// The shortest poll answer is 20 bytes, 20.8 ms on the wire: a shorter allowance could
// not hear even a processor that answers at once.
inline constexpr int kMinScanReplyMs = 21;
// The allowance after the poll has left. A processor answering 200 ms late with the long
// answer (32 bytes, 33 ms) is off the line before the next poll goes out, so the late
// answer collides with nothing; far below a connection's 2 s.
inline constexpr int kDefaultScanReplyMs = 250;
// How long the scan listens at one number.
constexpr int ScanWaitMs(int reply_ms) { return kScanRequestWireMs + reply_ms; }

struct LineScanEntry {
  int device_number = 0;
  bool garbled = false;  // bytes that made no sound answer, or two answers: a possible duplicate
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

  // Opens the port, polls device numbers first..last (1..256) listening ScanWaitMs(reply_ms)
  // at each, closes the port and hands over what answered, in number order. False when
  // the port would not open.
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
  void Split();
  void Drop(std::size_t count);
  void Credit(int number);

  TimerHost& timers_;
  SerialPort& port_;
  std::unique_ptr<Timer> wait_;
  bool running_ = false;
  bool draining_ = false;  // after the last wait: the rest of an answer still arriving
  bool answered_ = false;  // the number asked answered soundly in its wait
  int first_ = 0;
  int number_ = 0;
  int last_ = 0;
  std::vector<std::uint8_t> heard_;  // not yet a whole frame
  std::vector<int> heard_during_;    // the number asked when each byte of heard_ came
  std::map<int, LineScanEntry> found_;
  Progress progress_;
  Done done_;
};

}  // namespace veltrane
