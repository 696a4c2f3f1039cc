#pragma once

// A TimerHost on the steady clock for a single-threaded loop outside Qt (veltrane-sim and
// the in-process pseudo-terminal server). The loop sleeps in poll() for MsUntilNext() and
// then calls RunDue(); nothing here takes a lock, so every call must come from that one
// thread.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string_view>
#include <utility>

#include "protocol/timer.h"

namespace veltrane {

class RealtimeTimerHost : public TimerHost {
 public:
  RealtimeTimerHost();
  ~RealtimeTimerHost() override;
  RealtimeTimerHost(const RealtimeTimerHost&) = delete;
  RealtimeTimerHost& operator=(const RealtimeTimerHost&) = delete;

  std::unique_ptr<Timer> CreateTimer(std::string_view name, int interval_ms,
                                     std::function<void()> on_tick) override;
  void Defer(int ms, std::function<void()> fn) override;
  // Milliseconds since the host was made.
  std::int64_t NowMs() const override;

  // Runs everything due by now, in due order (ties in the order scheduled).
  void RunDue();
  // Milliseconds until the next event, 0 if one is due, -1 if none is waiting: the
  // timeout to hand to poll().
  int MsUntilNext() const;

 private:
  class RealtimeTimer;
  struct Event {
    std::function<void()> fn;
    std::weak_ptr<RealtimeTimer*> timer;  // set for timer ticks; expires with the timer
    std::uint64_t generation = 0;
  };
  using Key = std::pair<std::int64_t, std::uint64_t>;  // (due time, sequence)

  void Schedule(std::int64_t due, Event event);

  std::chrono::steady_clock::time_point origin_;
  std::uint64_t sequence_ = 0;
  std::multimap<Key, Event> events_;
  std::shared_ptr<bool> alive_;
};

}  // namespace veltrane
