// What one reply costs the editor from the moment its bytes arrive: the parameter image
// (decode, controls, the names request it sends) and the keep-alive poll answer, through
// the engine's receive path, with the allocations each makes.

#include <benchmark/benchmark.h>

#include "model/image_codec.h"
#include "protocol/engine.h"
#include "protocol/virtual_clock.h"
#include "bench_support.h"

namespace veltrane {
namespace {

Bytes FromHex(std::string_view text) {
  Bytes bytes(text.size() / 2);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = HexByteAt(text, 1 + 2 * i);
  return bytes;
}

// A connected engine on a serial line that answers nothing; the clock never moves, so no
// time-out ends the connection during the run.
struct ConnectedEngine {
  ConnectedEngine() {
    engine.SetSerialPort(&serial);
    engine.SelectPort("null", 1);
    engine.ConnectButtonClicked();
    clock.Advance(100);
  }
  // The one place that hands received bytes to the engine.
  void Receive(std::span<const std::uint8_t> bytes) { engine.OnBytes(bytes); }

  VirtualClock clock;
  ParameterModel model;
  SilentConnectionView view;
  NullSerial serial;
  ProtocolEngine engine{clock, model, view};
};

void Run(benchmark::State& state, ConnectedEngine& rig, const Bytes& reply) {
  const int writes_before = rig.serial.writes;
  const long before = g_allocations.load();
  for (auto _ : state) {
    rig.Receive(reply);
    benchmark::ClobberMemory();
  }
  const auto iterations = static_cast<double>(state.iterations());
  state.counters["allocs_per_reply"] =
      static_cast<double>(g_allocations.load() - before) / iterations;
  state.counters["writes_per_reply"] = (rig.serial.writes - writes_before) / iterations;
}

// Every image completes a connection again: decoded, shown, and the names requested.
void BM_DispatchImageReply(benchmark::State& state) {
  ConnectedEngine rig;
  ParameterModel source;
  source.bands[5].freq = 100;
  // A reply carries its checksum; the image text as a file holds it has none.
  Bytes image = FromHex(EncodeParameterImage(source));
  image[image.size() - 2] = FrameChecksum(image, image.size() - 3);
  Run(state, rig, image);
  if (rig.model.bands[5].freq != 100) state.SkipWithError("the image was not applied");
}
BENCHMARK(BM_DispatchImageReply);

void BM_DispatchPollAnswer(benchmark::State& state) {
  ConnectedEngine rig;
  const std::array<std::uint8_t, 8> data{};
  const Bytes poll = BuildFrame(0, kCmdData, 0, kObjPoll, 0, data);
  Run(state, rig, poll);
}
BENCHMARK(BM_DispatchPollAnswer);

}  // namespace
}  // namespace veltrane

BENCHMARK_MAIN();
