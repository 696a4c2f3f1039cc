#include "sim/realtime_timer_host.h"

#include <algorithm>

namespace veltrane {

class RealtimeTimerHost::RealtimeTimer : public Timer {
 public:
  RealtimeTimer(RealtimeTimerHost& host, int interval_ms, std::function<void()> on_tick)
      : host_(host),
        alive_(host.alive_),
        self_(std::make_shared<RealtimeTimer*>(this)),
        interval_(interval_ms),
        on_tick_(std::move(on_tick)) {}

  void Start() override {
    if (running_) return;  // a running timer keeps its count
    running_ = true;
    ScheduleNext(host_.NowMs());
  }
  void Stop() override {
    running_ = false;
    ++generation_;
  }
  bool Running() const override { return running_; }
  void SetInterval(int ms) override {
    interval_ = ms;
    if (running_) ScheduleNext(host_.NowMs());
  }
  int Interval() const override { return interval_; }

  void Fire(std::uint64_t generation, std::int64_t due) {
    if (!running_ || generation != generation_) return;
    // Counting from the planned tick keeps a periodic timer from drifting behind a busy
    // loop; a tick more than one period late is not repeated.
    ScheduleNext(std::max(due, host_.NowMs() - interval_));
    on_tick_();
  }

 private:
  void ScheduleNext(std::int64_t from) {
    if (alive_.expired()) return;
    ++generation_;
    host_.Schedule(from + std::max(interval_, 0), Event{{}, self_, generation_});
  }

  RealtimeTimerHost& host_;
  std::weak_ptr<bool> alive_;
  std::shared_ptr<RealtimeTimer*> self_;  // pending ticks hold it weakly
  int interval_;
  std::function<void()> on_tick_;
  bool running_ = false;
  std::uint64_t generation_ = 0;
};

RealtimeTimerHost::RealtimeTimerHost()
    : origin_(std::chrono::steady_clock::now()), alive_(std::make_shared<bool>(true)) {}

RealtimeTimerHost::~RealtimeTimerHost() { alive_.reset(); }

std::unique_ptr<Timer> RealtimeTimerHost::CreateTimer(std::string_view /*name*/, int interval_ms,
                                                      std::function<void()> on_tick) {
  return std::make_unique<RealtimeTimer>(*this, interval_ms, std::move(on_tick));
}

void RealtimeTimerHost::Defer(int ms, std::function<void()> fn) {
  Schedule(NowMs() + std::max(ms, 0), Event{std::move(fn), {}, 0});
}

std::int64_t RealtimeTimerHost::NowMs() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               origin_)
      .count();
}

void RealtimeTimerHost::Schedule(std::int64_t due, Event event) {
  events_.emplace(Key{due, sequence_++}, std::move(event));
}

void RealtimeTimerHost::RunDue() {
  const std::int64_t now = NowMs();
  // Events scheduled while running (a Defer(0) from a handler) wait for the next call,
  // so a handler that keeps deferring cannot starve the loop's poll().
  const std::uint64_t last = sequence_;
  for (auto it = events_.begin(); it != events_.end() && it->first.first <= now;) {
    if (it->first.second >= last) {
      ++it;
      continue;
    }
    auto node = events_.extract(it);
    Event& event = node.mapped();
    if (event.fn) {
      event.fn();
    } else if (const auto timer = event.timer.lock()) {
      (*timer)->Fire(event.generation, node.key().first);
    }
    it = events_.begin();
  }
}

int RealtimeTimerHost::MsUntilNext() const {
  if (events_.empty()) return -1;
  const std::int64_t wait = events_.begin()->first.first - NowMs();
  return static_cast<int>(std::clamp<std::int64_t>(wait, 0, 24 * 3600 * 1000));
}

}  // namespace veltrane
