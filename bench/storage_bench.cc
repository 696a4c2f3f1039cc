// A whole 20-group restore into the simulated processor on the virtual clock: what the
// editor spends per slot (reading and checking the file, headers, blocks, progress), not
// the 21 s of waiting that the restore's rhythm prescribes.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "protocol/engine.h"
#include "protocol/virtual_clock.h"
#include "sim/sim_link.h"
#include "sim/simulator.h"
#include "storage/group_backup.h"
#include "storage/image_text.h"

namespace veltrane {
namespace {

class NullView : public SilentConnectionView, public OperationView {
 public:
  // ConnectionView and OperationView share these two.
  void ShowMessage(std::string_view) override {}
  void HideDetailWindow() override {}
  void AskYesNo(std::string_view, std::string_view, std::function<void(bool)> answer) override {
    answer(true);
  }
  void ChooseFile(const FileDialogRequest&,
                  std::function<void(std::optional<std::string>)> chosen) override {
    chosen(std::string("backup"));
  }
  void ShowTransferBox(bool) override {}
  void SetTransferProgress(int) override {}
  void SetOperationPanelsEnabled(bool) override {}
};

class OneFile : public FileStore {
 public:
  FileReadResult Read(const std::string&, std::size_t) override {
    return {FileReadResult::Status::kOk, text, {}};
  }
  std::string WriteAtomically(const std::string&, std::string_view) override { return {}; }
  std::string text;
};

void BM_GroupRestore(benchmark::State& state) {
  VirtualClock clock;
  ParameterModel model;
  NullView view;
  Simulator sim(clock, {.keep_log = false, .demo_content = true});
  SimSerialPort port(clock, sim);
  ProtocolEngine engine(clock, model, view);
  port.SetReceiver([&](std::span<const std::uint8_t> b) { engine.OnBytes(b); });
  engine.SetSerialPort(&port);
  engine.SelectPort("sim", 1);
  OneFile file;
  std::vector<std::string> lines;
  for (int slot = 1; slot <= 20; ++slot) {
    lines.push_back(EncodeHex(BuildFrame(0, kCmdData, static_cast<std::uint8_t>(slot),
                                         kObjPresetImage, 0, sim.PresetImage(slot))));
  }
  file.text = FileLines(lines);
  OperationGate gate;
  GroupBackup backup(clock, engine, view, file, gate);
  engine.Start();
  engine.ConnectButtonClicked();
  clock.Advance(1000);
  for (auto _ : state) {
    backup.LoadToDevice();
    clock.Advance(23000);
    port.ClearSent();
    if (backup.Writing()) state.SkipWithError("the restore did not finish");
  }
  state.counters["per_slot"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * 20,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_GroupRestore)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace veltrane

BENCHMARK_MAIN();
