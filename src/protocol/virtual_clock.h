#pragma once

// A manual clock for tests and for the simulator's own timing: Advance(ms) fires every
// due timer and deferred call in time order (ties in the order they were scheduled), so a
// 25 s time-out is tested in microseconds.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "protocol/timer.h"

namespace veltrane {

class VirtualClock : public TimerHost {
 public:
  VirtualClock();
  ~VirtualClock() override;

  std::unique_ptr<Timer> CreateTimer(std::string_view name, int interval_ms,
                                     std::function<void()> on_tick) override;
  void Defer(int ms, std::function<void()> fn) override;
  std::int64_t NowMs() const override { return now_; }

  // Runs everything due up to now + ms, then sets the time to now + ms.
  void Advance(std::int64_t ms);
  // Runs what is due at the current time (zero-delay deferrals).
  void RunDue() { Advance(0); }
  // Names of the timers running now, for diagnostics.
  std::string RunningTimers() const;

 private:
  class VirtualTimer;
  struct Event {
    std::function<void()> fn;
    VirtualTimer* timer = nullptr;  // set for timer ticks
    std::uint64_t generation = 0;   // a tick is void once its timer was restarted or stopped
  };
  using Key = std::pair<std::int64_t, std::uint64_t>;  // (due time, sequence)

  void Schedule(std::int64_t due, Event event);

  std::int64_t now_ = 0;
  std::uint64_t sequence_ = 0;
  std::multimap<Key, Event> events_;
  std::shared_ptr<bool> alive_;
  std::map<VirtualTimer*, std::string> timers_;
};

}  // namespace veltrane
