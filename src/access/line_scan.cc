#include "access/line_scan.h"

#include "frame/frame_codec.h"

namespace veltrane {

LineScanner::LineScanner(TimerHost& timers, SerialPort& port) : timers_(timers), port_(port) {
  wait_ = timers_.CreateTimer("ScanTimer", kDefaultScanReplyMs, [this] { Judge(); });
}

LineScanner::~LineScanner() = default;

bool LineScanner::Start(const std::string& port_name, int first, int last, int reply_ms,
                        Progress progress, Done done) {
  if (running_ || first < 1 || last > 256 || first > last) return false;
  if (!port_.Open(port_name)) return false;
  running_ = true;
  number_ = first;
  last_ = last;
  found_.clear();
  progress_ = std::move(progress);
  done_ = std::move(done);
  wait_->SetInterval(reply_ms);
  Ask();
  return true;
}

void LineScanner::Ask() {
  heard_.clear();
  if (progress_) progress_(number_);
  const ShortRequest poll = BuildShortRequest(static_cast<std::uint8_t>(number_ - 1), 0, kObjPoll);
  port_.Write(poll);
  wait_->Start();
}

void LineScanner::OnBytes(std::span<const std::uint8_t> bytes) {
  if (!running_) return;
  heard_.insert(heard_.end(), bytes.begin(), bytes.end());
  // A whole sound answer needs no more waiting.
  if (SoundAnswer()) Judge();
}

// Exactly one poll answer (8 or 20 data bytes) from the number asked, checksum and end
// byte right.
bool LineScanner::SoundAnswer() const {
  const std::vector<std::uint8_t>& f = heard_;
  if (f.size() != kFrameOverhead + 8 && f.size() != kFrameOverhead + 20) return false;
  const std::size_t length = static_cast<std::size_t>(f[8]) * 256 + f[9];
  return f[0] == kStartByte && f[1] == kStartByte && f[2] == kStartByte &&
         f[3] == static_cast<std::uint8_t>(number_ - 1) && f[4] == kCmdData && f[6] == kObjPoll &&
         length + kFrameOverhead == f.size() && f.back() == kEndByte &&
         f[f.size() - 2] == FrameChecksum(f, f.size() - 3);
}

void LineScanner::Judge() {
  wait_->Stop();
  if (SoundAnswer()) {
    found_.push_back({number_, false});
  } else if (!heard_.empty()) {
    found_.push_back({number_, true});
  }
  if (number_ < last_) {
    ++number_;
    Ask();
    return;
  }
  Finish();
}

void LineScanner::Cancel() {
  if (!running_) return;
  wait_->Stop();
  Finish();
}

void LineScanner::Finish() {
  running_ = false;
  port_.Close();
  if (Done done = std::move(done_)) done(std::move(found_));
}

}  // namespace veltrane
