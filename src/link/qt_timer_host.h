#pragma once

// The core's timers on the window thread's event loop.

#include <QElapsedTimer>
#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "protocol/timer.h"

namespace veltrane {

class QtTimerHost : public TimerHost {
 public:
  QtTimerHost();
  ~QtTimerHost() override;
  QtTimerHost(const QtTimerHost&) = delete;
  QtTimerHost& operator=(const QtTimerHost&) = delete;

  // A precise QTimer named `name` (its objectName), a child of Context().
  std::unique_ptr<Timer> CreateTimer(std::string_view name, int interval_ms,
                                     std::function<void()> on_tick) override;
  // Dropped if the host goes first.
  void Defer(int ms, std::function<void()> fn) override;
  std::int64_t NowMs() const override { return clock_.elapsed(); }

  // Parent of every timer, so that a test or a support engineer can find one by name.
  QObject* Context() { return &context_; }

 private:
  QObject context_;
  QElapsedTimer clock_;
};

}  // namespace veltrane
