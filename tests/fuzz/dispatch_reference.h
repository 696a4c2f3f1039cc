#pragma once

// A second, separate reading of how the editor recognises replies: frames cut out of the
// received bytes (start marker, a header the processor can send, the length, checksum and
// end byte), then a table of rows (command, object, data length, an action). It shares
// nothing with the engine (not even the image decoder: it decodes the image as text), and
// predicts what one arrival does: the events in order, the timers left running, and the
// bytes left waiting for the rest of a frame.

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

// One arrival: `buffer` is what was left waiting followed by the bytes that arrived
// (`arrived`: some did). Appends the events to `events` and returns the bytes left
// waiting. Events read:
//   "write <hex>"            a frame sent to the processor
//   "view.<call> [args]"     a call of the connection view
//   "hook.<call> [args]"     a reply hook that acted
std::vector<std::uint8_t> ReferenceDispatch(ReferenceState& state, std::vector<std::uint8_t> buffer,
                                            bool arrived, std::vector<std::string>& events);

}  // namespace veltrane::fuzz
