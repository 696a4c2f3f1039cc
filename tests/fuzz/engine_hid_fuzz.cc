// The engine's HID receive path: 64-byte input reports of any content with the processor's
// HID device present (and unplugged and plugged again), interleaved with clock advances
// and connect / disconnect clicks (an engine script, fuzz_scripts.h).

#include <cstddef>
#include <cstdint>
#include <span>

#include "engine_rig.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  veltrane::fuzz::EngineRig rig(veltrane::fuzz::ReceivePath::kHid);
  rig.Run(std::span(data, size));
  return 0;
}
