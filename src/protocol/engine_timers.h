#pragma once

// The engine's timers, shared by the files that make up the engine; not for other users.

#include <memory>

#include "protocol/engine.h"

namespace veltrane {

// The timers of the send chain and of the connection, all created disabled.
class ProtocolEngine::TimerSet {
 public:
  std::unique_ptr<Timer> send_timer, timer7, timer4, timer1, intimer;
  std::unique_ptr<Timer> chcon, chcon112, chcon188, timer10, timer_onoff;
};

}  // namespace veltrane
