#pragma once

// The engine's timers, shared by the files that make up the engine; not for other users.

#include <memory>

#include "protocol/engine.h"

namespace veltrane {

// The timers of the send chain and of the connection, all created disabled.
class ProtocolEngine::TimerSet {
 public:
  // The send chain: the slot scan (10 ms) picks the lowest pending slot, its frame leaves
  // after the send delay (200 ms), and the rest (300 ms) restarts the scan and the poll.
  std::unique_ptr<Timer> slot_scan, send_delay, send_rest;
  // The keep-alive poll (500 ms) and its answer's time-out (2 s).
  std::unique_ptr<Timer> poll, poll_timeout;
  // The connection: any answer within 2 s, the image and the names within 3 s of the click;
  // the connecting bar's ticks; the status lamp.
  std::unique_ptr<Timer> connect_timeout, image_timeout, names_timeout, connect_progress, lamp;
};

}  // namespace veltrane
