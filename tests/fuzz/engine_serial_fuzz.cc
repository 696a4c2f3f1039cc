// The engine's serial receive path: reads of any size and content, interleaved with clock
// advances and connect / disconnect clicks (an engine script, fuzz_scripts.h).

#include <cstddef>
#include <cstdint>
#include <span>

#include "engine_rig.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  veltrane::fuzz::EngineRig rig(veltrane::fuzz::ReceivePath::kSerial);
  rig.Run(std::span(data, size));
  return 0;
}
