#pragma once

// Time as the core sees it. Timers are created disabled; starting a running timer does
// not restart its count; a periodic timer fires every interval while it runs. Defer runs
// a continuation later while replies and timers keep being handled in between, which is
// what a "wait while messages keep flowing" needs, without a nested event loop.

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

namespace veltrane {

class Timer {
 public:
  virtual ~Timer() = default;
  virtual void Start() = 0;
  virtual void Stop() = 0;
  virtual bool Running() const = 0;
  virtual void SetInterval(int ms) = 0;
  virtual int Interval() const = 0;
};

class TimerHost {
 public:
  virtual ~TimerHost() = default;
  // The timer keeps its name for diagnostics and for tests that look it up.
  virtual std::unique_ptr<Timer> CreateTimer(std::string_view name, int interval_ms,
                                             std::function<void()> on_tick) = 0;
  virtual void Defer(int ms, std::function<void()> fn) = 0;
  virtual std::int64_t NowMs() const = 0;
};

}  // namespace veltrane
