#include "access/line_scan.h"

#include <algorithm>
#include <set>

#include "frame/frame_codec.h"

namespace veltrane {
namespace {

constexpr std::size_t kHeaderLength = 10;

// Where the next start marker begins, or a prefix of one at the very end; size() if none.
std::size_t FindStart(const std::vector<std::uint8_t>& bytes) {
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    if (std::all_of(bytes.begin() + i, bytes.begin() + i + n,
                    [](std::uint8_t b) { return b == kStartByte; })) {
      return i;
    }
  }
  return bytes.size();
}

// A header that can begin a poll answer: data (52), the poll's object, 8 or 20 data bytes.
bool PollAnswerHeader(const std::vector<std::uint8_t>& f) {
  const std::size_t length = static_cast<std::size_t>(f[8]) * 256 + f[9];
  return f[4] == kCmdData && f[6] == kObjPoll && (length == 8 || length == 20);
}

}  // namespace

LineScanner::LineScanner(TimerHost& timers, SerialPort& port) : timers_(timers), port_(port) {
  wait_ = timers_.CreateTimer("ScanTimer", ScanWaitMs(kDefaultScanReplyMs), [this] { Judge(); });
}

LineScanner::~LineScanner() = default;

bool LineScanner::Start(const std::string& port_name, int first, int last, int reply_ms,
                        Progress progress, Done done) {
  if (running_ || first < 1 || last > 256 || first > last) return false;
  if (!port_.Open(port_name)) return false;
  running_ = true;
  draining_ = false;
  first_ = first;
  number_ = first;
  last_ = last;
  heard_.clear();
  heard_during_.clear();
  found_.clear();
  progress_ = std::move(progress);
  done_ = std::move(done);
  wait_->SetInterval(ScanWaitMs(reply_ms));
  Ask();
  return true;
}

void LineScanner::Ask() {
  answered_ = false;
  if (progress_) progress_(number_);
  const ShortRequest poll = BuildShortRequest(static_cast<std::uint8_t>(number_ - 1), 0, kObjPoll);
  port_.Write(poll);
  wait_->Start();
}

void LineScanner::OnBytes(std::span<const std::uint8_t> bytes) {
  if (!running_) return;
  heard_.insert(heard_.end(), bytes.begin(), bytes.end());
  heard_during_.insert(heard_during_.end(), bytes.size(), number_);
  Split();
  // The number asked has answered: no more waiting. Anything else keeps the wait whole,
  // the number asked may still answer.
  if (answered_ && !draining_) Judge();
}

// Takes every whole frame off the front of what was heard. A sound poll answer goes to
// the number it carries; bytes that begin none mark the number in whose wait they came.
void LineScanner::Split() {
  while (!heard_.empty()) {
    if (const std::size_t start = FindStart(heard_); start > 0) {
      Drop(start);
      continue;
    }
    if (heard_.size() < kHeaderLength) return;
    if (!PollAnswerHeader(heard_)) {
      Drop(1);
      continue;
    }
    const std::size_t size = kFrameOverhead + static_cast<std::size_t>(heard_[8]) * 256 + heard_[9];
    if (heard_.size() < size) return;
    if (heard_[size - 1] != kEndByte ||
        heard_[size - 2] != FrameChecksum(std::span(heard_).first(size), size - 3)) {
      Drop(1);
      continue;
    }
    const int number = heard_[3] + 1;
    heard_.erase(heard_.begin(), heard_.begin() + static_cast<std::ptrdiff_t>(size));
    heard_during_.erase(heard_during_.begin(),
                        heard_during_.begin() + static_cast<std::ptrdiff_t>(size));
    Credit(number);
  }
}

void LineScanner::Drop(std::size_t count) {
  const std::set<int> during(heard_during_.begin(),
                             heard_during_.begin() + static_cast<std::ptrdiff_t>(count));
  for (int number : during) {
    LineScanEntry& entry = found_[number];
    entry.device_number = number;
    entry.garbled = true;
  }
  heard_.erase(heard_.begin(), heard_.begin() + static_cast<std::ptrdiff_t>(count));
  heard_during_.erase(heard_during_.begin(),
                      heard_during_.begin() + static_cast<std::ptrdiff_t>(count));
}

// Only a number already asked in this scan can have answered; a second sound answer for
// one number means a second processor has it.
void LineScanner::Credit(int number) {
  if (number < first_ || number > number_) return;
  const auto [at, first_answer] = found_.try_emplace(number, LineScanEntry{number, false});
  if (!first_answer) at->second.garbled = true;
  if (number == number_) answered_ = true;
}

void LineScanner::Judge() {
  wait_->Stop();
  if (number_ < last_ && !draining_) {
    ++number_;
    Ask();
    return;
  }
  // The last wait is over with part of an answer still to come: one more wait for it.
  if (!draining_ && !heard_.empty()) {
    draining_ = true;
    wait_->Start();
    return;
  }
  Finish();
}

void LineScanner::Cancel() {
  if (!running_) return;
  wait_->Stop();
  // An answer cut off by the cancel is no sign of a duplicate.
  heard_.clear();
  heard_during_.clear();
  Finish();
}

void LineScanner::Finish() {
  running_ = false;
  Drop(heard_.size());  // what never became a frame
  port_.Close();
  std::vector<LineScanEntry> found;
  for (const auto& [number, entry] : found_) found.push_back(entry);
  if (Done done = std::move(done_)) done(std::move(found));
}

}  // namespace veltrane
