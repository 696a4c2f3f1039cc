#pragma once

// A second, separate reading of how the editor recognises replies: the dispatch table as
// a table of rows (characters compared, a length rule, an action), walked in order. It
// shares nothing with the engine but the image decoder, and predicts what one dispatch
// pass does: the events in order, the timers left running, and the buffer left.

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "model/parameter_model.h"

namespace veltrane::fuzz {

struct ReferenceState {
  std::uint8_t device_id = 0;
  bool connected = false;                 // a connection is open
  bool file_save = false;                 // a file save waits for the next image (taken once)
  bool preset_load = false;               // a preset load waits for the next image (taken once)
  bool backup = false;                    // a 20-group backup collects records
  bool settings_request_pending = false;  // send slot 65
  std::set<std::string> running;          // timers running, by name
  ParameterModel model;
};

// One pass over `buffer` (the receive buffer after the arrival). Appends the events to
// `events` and returns the buffer as the pass leaves it. Events read:
//   "write <hex>"            a frame sent to the processor
//   "view.<call> [args]"     a call of the connection view
//   "hook.<call> [args]"     a reply hook that acted
std::string ReferenceDispatch(ReferenceState& state, std::string buffer,
                              std::vector<std::string>& events);

}  // namespace veltrane::fuzz
