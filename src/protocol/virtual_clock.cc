#include "protocol/virtual_clock.h"

#include <sstream>

namespace veltrane {

class VirtualClock::VirtualTimer : public Timer {
 public:
  VirtualTimer(VirtualClock& clock, std::weak_ptr<bool> alive, int interval_ms,
               std::function<void()> on_tick)
      : clock_(clock),
        alive_(std::move(alive)),
        interval_(interval_ms),
        on_tick_(std::move(on_tick)) {}
  ~VirtualTimer() override {
    if (!alive_.expired()) clock_.timers_.erase(this);
  }

  void Start() override {
    if (running_) return;  // a running timer keeps its count
    running_ = true;
    ScheduleNext(clock_.now_);
  }
  void Stop() override {
    running_ = false;
    generation_ = clock_.sequence_++;
  }
  bool Running() const override { return running_; }
  void SetInterval(int ms) override {
    interval_ = ms;
    if (running_) ScheduleNext(clock_.now_);
  }
  int Interval() const override { return interval_; }

  void Fire(std::uint64_t generation) {
    if (!running_ || generation != generation_) return;
    ScheduleNext(clock_.now_);  // periodic: the next tick counts from this one
    on_tick_();
  }

 private:
  void ScheduleNext(std::int64_t from) {
    // Generations are unique across the clock, so a tick of a destroyed timer can never
    // match a new timer that happens to reuse its address.
    generation_ = clock_.sequence_++;
    clock_.Schedule(from + interval_, Event{{}, this, generation_});
  }

  VirtualClock& clock_;
  std::weak_ptr<bool> alive_;
  int interval_;
  std::function<void()> on_tick_;
  bool running_ = false;
  std::uint64_t generation_ = 0;
};

VirtualClock::VirtualClock() : alive_(std::make_shared<bool>(true)) {}
VirtualClock::~VirtualClock() { alive_.reset(); }

std::unique_ptr<Timer> VirtualClock::CreateTimer(std::string_view name, int interval_ms,
                                                 std::function<void()> on_tick) {
  auto timer = std::make_unique<VirtualTimer>(*this, alive_, interval_ms, std::move(on_tick));
  timers_[timer.get()] = std::string(name);
  return timer;
}

void VirtualClock::Defer(int ms, std::function<void()> fn) {
  Schedule(now_ + (ms < 0 ? 0 : ms), Event{std::move(fn), nullptr, 0});
}

void VirtualClock::Schedule(std::int64_t due, Event event) {
  events_.emplace(Key{due, sequence_++}, std::move(event));
}

void VirtualClock::Advance(std::int64_t ms) {
  const std::int64_t end = now_ + ms;
  while (!events_.empty() && events_.begin()->first.first <= end) {
    auto node = events_.extract(events_.begin());
    now_ = node.key().first;
    Event& event = node.mapped();
    if (event.timer != nullptr) {
      // A timer destroyed since scheduling has left the registry; its tick is void.
      if (timers_.count(event.timer) != 0) event.timer->Fire(event.generation);
    } else {
      event.fn();
    }
  }
  now_ = end;
}

std::string VirtualClock::RunningTimers() const {
  std::ostringstream out;
  for (const auto& [timer, name] : timers_) {
    if (timer->Running()) out << name << ' ';
  }
  return out.str();
}

}  // namespace veltrane
