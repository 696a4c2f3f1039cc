// Writes the fuzz targets' first inputs from the simulator's own replies: whole sessions
// of an engine connected to the simulator on the virtual clock (what arrived, and when,
// as engine scripts; what the engine sent as simulator reader scripts), the replies on
// their own for the codecs, and pass by pass for the dispatch comparison.
//
//   fuzz_seed_gen OUTPUT_DIR   (writes OUTPUT_DIR/<target>/<name>)

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tuning/synthetic_room.h"
#include "tuning/tuning_session.h"
#include "fuzz_scripts.h"
#include "model/blocks.h"
#include "model/image_codec.h"
#include "protocol/engine.h"
#include "protocol/virtual_clock.h"
#include "sim/sim_link.h"
#include "sim/simulator.h"

namespace veltrane::fuzz {
namespace {

namespace fs = std::filesystem;

fs::path g_out;

void Write(std::string_view target, std::string_view name, std::span<const std::uint8_t> bytes) {
  const fs::path dir = g_out / target;
  fs::create_directories(dir);
  std::ofstream file(dir / name, std::ios::binary);
  file.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  if (!file) {
    std::fprintf(stderr, "cannot write %s\n", (dir / name).c_str());
    std::exit(1);
  }
}

// What happened at the engine in a session, in time order: clicks, what reached it, an
// unplugged HID device.
struct Event {
  enum Kind { kClick, kArrived, kUnplug } kind;
  std::int64_t time_ms;
  Bytes bytes;
};

struct Recording {
  std::vector<Event> events;
  std::vector<SentFrame> sent;  // serial writes, or 65-byte HID reports
};

using Middle = std::function<void(ProtocolEngine&, Simulator&, VirtualClock&, SimHidPort&,
                                  std::vector<Event>&)>;

struct Session {
  std::string name;
  SimOptions options;
  bool hid = false;
  // The session's middle part: the connection is open when it starts.
  Middle middle;
};

Recording Record(const Session& s) {
  VirtualClock clock;
  Simulator sim(clock, s.options);
  ParameterModel model;
  SilentConnectionView view;
  ProtocolEngine engine(clock, model, view);
  std::vector<Event> events;
  SimSerialPort serial(clock, sim);
  SimHidPort hid(clock, sim);
  serial.SetReceiver([&](std::span<const std::uint8_t> b) {
    events.push_back({Event::kArrived, clock.NowMs(), Bytes(b.begin(), b.end())});
    engine.OnBytes(b);
  });
  hid.SetReceiver([&](std::span<const std::uint8_t> b) {
    events.push_back({Event::kArrived, clock.NowMs(), Bytes(b.begin(), b.end())});
    engine.OnBytes(b);
  });
  engine.SetSerialPort(&serial);
  if (s.hid) engine.SetDeviceLink(&hid);
  engine.SelectPort("sim", 1);
  engine.Start();
  events.push_back({Event::kClick, clock.NowMs(), {}});
  engine.ConnectButtonClicked();
  clock.Advance(1200);  // image, names, the settings request and its answer
  if (s.middle) s.middle(engine, sim, clock, hid, events);
  clock.Advance(1100);  // two polls
  if (engine.Connected()) {
    events.push_back({Event::kClick, clock.NowMs(), {}});
    engine.ConnectButtonClicked();
  }
  clock.Advance(3500);  // the close, or the time-outs of a silent processor
  return {events, s.hid ? hid.sent() : serial.sent()};
}

void WriteEngineScript(const Session& s, const std::vector<Event>& events) {
  EngineScriptWriter w;
  std::int64_t now = 0;
  for (const Event& e : events) {
    w.Advance(e.time_ms - now);
    now = e.time_ms;
    if (e.kind == Event::kClick) w.Click();
    if (e.kind == Event::kUnplug) w.Op(engine_op::kToggleHidPlug);
    if (e.kind == Event::kArrived) {
      if (s.hid) {
        // The link hands on whole replies; the script gives the reports they came in.
        for (const SimHidReport& report : SplitIntoHidReports(e.bytes)) w.HidReport(report);
      } else {
        w.Serial(e.bytes);
      }
    }
  }
  w.Advance(3500);
  Write(s.hid ? "engine_hid_fuzz" : "engine_serial_fuzz", s.name, w.bytes());
}

// What the engine sent, as the simulator's readers take it in.
void WriteReaderScript(const Session& s, const std::vector<SentFrame>& sent) {
  SimScriptWriter w(0);
  std::int64_t now = 0;
  for (const SentFrame& f : sent) {
    w.Advance(f.time_ms - now);
    now = f.time_ms;
    if (s.hid) {
      w.HidReport(std::span(f.bytes).subspan(1));  // after the report ID
    } else {
      w.Serial(f.bytes);
    }
  }
  Write("sim_reader_fuzz", s.name + (s.hid ? "-hid" : "-serial"), w.bytes());
}

std::vector<Session> Sessions() {
  const auto with = [](auto change) {
    SimOptions o;
    change(o);
    return o;
  };
  // A parameter change, a long write of the live image, and a refresh report.
  const auto busy = [](ProtocolEngine& engine, Simulator& sim, VirtualClock& clock, SimHidPort&,
                       std::vector<Event>&) {
    ParameterModel changed;
    changed.channels[kOut1].gain = 150;
    SendChannelBlock(changed, kOut1, engine);
    clock.Advance(600);
    engine.StopScheduler();
    engine.SendLongWriteHeader(0, kObjImage);
    clock.Advance(100);
    engine.SendImageBlock(EncodeParameterImage(changed), kObjImage, 0);
    engine.StartScheduler();
    clock.Advance(300);
    sim.SendRefreshReport();
  };
  const auto unplug = [](ProtocolEngine& engine, Simulator&, VirtualClock& clock, SimHidPort& hid,
                         std::vector<Event>& events) {
    clock.Advance(300);
    events.push_back({Event::kUnplug, clock.NowMs(), {}});
    hid.SetPlugged(false);
    engine.SetDeviceLink(nullptr);
  };
  std::vector<Session> sessions = {
      {"plain", {}, false, busy},
      {"demo", with([](SimOptions& o) { o.demo_content = true; }), false, {}},
      {"identity-first", with([](SimOptions& o) { o.identity_first = true; }), false, {}},
      {"long-poll", with([](SimOptions& o) { o.poll_answer_long = true; }), false, {}},
      {"paced", with([](SimOptions& o) { o.pacing_9600 = true; }), false, {}},
      {"split",
       with([](SimOptions& o) {
         o.split_chunks = {48, 5};
       }),
       false,
       {}},
      {"merged", with([](SimOptions& o) { o.merge_with_next = true; }), false, {}},
      {"noise",
       with([](SimOptions& o) {
         o.noise = {0x00, 0x5A, 0xA5};
       }),
       false,
       {}},
      {"locked", with([](SimOptions& o) { o.locked_at_start = true; }), false, {}},
      {"silent", with([](SimOptions& o) { o.silent = true; }), false, {}},
      {"no-names", with([](SimOptions& o) { o.ignore_objects = {kObjPresetNames}; }), false, {}},
      {"dropped", with([](SimOptions& o) { o.drop_after_frames = 4; }), false, {}},
      {"late", with([](SimOptions& o) { o.late_ms = 1500; }), false, {}},
  };
  // The same over HID, where replies come as input reports.
  const std::vector<std::string> over_hid = {"plain",  "identity-first", "long-poll", "locked",
                                             "silent", "dropped",        "noise"};
  const std::size_t serial_count = sessions.size();
  for (std::size_t i = 0; i < serial_count; ++i) {
    if (std::find(over_hid.begin(), over_hid.end(), sessions[i].name) != over_hid.end()) {
      Session hid = sessions[i];
      hid.hid = true;
      sessions.push_back(hid);
    }
  }
  sessions.push_back({"unplugged", {}, true, unplug});
  return sessions;
}

struct Replies {
  Bytes image, locked_image, identity, refresh, names, settings, poll, long_poll, lock_result,
      unlock_result, store_ack, settings_ack, record;
};

Replies MakeReplies() {
  ProcessorState st;
  st.LoadDemoContent();
  const auto one = [&st](std::span<const std::uint8_t> frame) { return st.Handle(frame).at(0); };
  Replies r;
  r.image = st.ImageReply(0);
  r.identity = st.IdentityReply();
  r.refresh = st.RefreshReport();
  r.names = one(BuildShortRequest(0, 0, kObjPresetNames));
  r.settings = one(BuildSettingsRequest(0));
  r.poll = one(BuildShortRequest(0, 0, kObjPoll));
  r.record = one(BuildShortRequest(0, 4, kObjPresetImage));
  r.store_ack = one(BuildNameWrite(0, 3, "Seed"));
  r.settings_ack = one(BuildWriteFrame(0, kObjDeviceSettings, 0, {1, 0, 0, 1, 0, 0, 0, 0}));
  r.unlock_result = one(BuildWriteFrame(0, kObjUnlock, 0, {'1', '2', '3', '4', '5', '6', 0, 0}));
  r.lock_result = one(BuildWriteFrame(0, kObjLock, 0, {'1', '2', '3', '4', '5', '6', 0, 0}));
  r.locked_image = st.ImageReply(0);
  st.set_long_poll_answer(true);
  r.long_poll = one(BuildShortRequest(0, 0, kObjPoll));
  return r;
}

Bytes Join(std::initializer_list<const Bytes*> parts) {
  Bytes out;
  for (const Bytes* p : parts) out.insert(out.end(), p->begin(), p->end());
  return out;
}

// Every kind of reply once, after a connection, with the pending operations that claim
// some of them: over serial and over HID.
void WriteReplyScripts(const Replies& r) {
  for (const bool hid : {false, true}) {
    EngineScriptWriter w;
    const auto arrive = [&](const Bytes& reply) {
      if (!hid) {
        w.Serial(reply);
        return;
      }
      for (const SimHidReport& report : SplitIntoHidReports(reply)) w.HidReport(report);
    };
    w.Click();
    w.Advance(100);
    arrive(r.image);
    arrive(r.names);
    w.Advance(210);
    arrive(r.settings);
    for (const Bytes* reply : {&r.lock_result, &r.unlock_result, &r.refresh, &r.store_ack,
                               &r.settings_ack, &r.long_poll}) {
      w.Advance(20);
      arrive(*reply);
    }
    w.Op(engine_op::kToggleBackup);
    arrive(r.record);
    arrive(r.record);
    w.Op(engine_op::kToggleBackup);
    w.Op(engine_op::kToggleFileSave);
    arrive(r.image);
    w.Op(engine_op::kTogglePresetLoad);
    arrive(r.locked_image);
    w.Advance(600);
    arrive(r.poll);
    w.Advance(100);
    w.Click();
    w.Advance(3500);
    Write(hid ? "engine_hid_fuzz" : "engine_serial_fuzz", "replies", w.bytes());
  }
}

// The editor's writes that change the processor, over serial and in HID reports.
void WriteCommandScripts() {
  const std::array<std::uint8_t, 8> password = {'1', '2', '3', '4', '5', '6', 0, 0};
  const auto store = BuildNameWrite(0, 3, "Seed");
  const std::vector<Bytes> commands = {
      Bytes(store.begin(), store.end()),
      BuildFrame(0, kCmdWrite, 0, kObjLock, 0, password),
      BuildFrame(0, kCmdWrite, 0, kObjUnlock, 0, password),
      BuildFrame(0, kCmdWrite, 0, kObjDeviceSettings, 0, Bytes{5, 1, 2, 7, 0, 0, 0, 0}),
      BuildFrame(0, kCmdRequest, 0, kObjDeviceSettings, 0, Bytes(8, 0)),
      BuildFrame(0, kCmdRequest, 4, kObjPresetImage, 0, {}),
      BuildFrame(0, kCmdRequest, 3, kObjImage, 0, {}),
      BuildFrame(0, kCmdWrite, 0, 0x37, 0, Bytes(8, 0)),  // an object nobody knows
  };
  SimScriptWriter serial(kSimIdentityFirst);
  SimScriptWriter hid(kSimLongPoll);
  for (const Bytes& frame : commands) {
    serial.Serial(frame);
    serial.Advance(20);
    SimHidReport report{};
    std::copy(frame.begin(), frame.end(), report.begin());
    hid.HidReport(report);
    hid.Advance(20);
  }
  Write("sim_reader_fuzz", "commands-serial", serial.bytes());
  Write("sim_reader_fuzz", "commands-hid", hid.bytes());
}

void WriteCodecSeeds(const Replies& r) {
  Write("codec_fuzz", "image", r.image);
  Write("codec_fuzz", "locked-image", r.locked_image);
  Write("codec_fuzz", "names", r.names);
  Write("codec_fuzz", "settings", r.settings);
  Write("codec_fuzz", "identity", r.identity);
  const std::string text = EncodeHex(r.image);
  Write("codec_fuzz", "image-text",
        std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

void WriteDispatchSeeds(const Replies& r) {
  struct Seed {
    const char* name;
    std::uint8_t flags;
    std::vector<std::pair<Bytes, bool>> passes;  // bytes, replaces the buffer
  };
  const Bytes marker = {0xA5, 0xA5};
  const Bytes rest_of_ack(r.store_ack.begin() + 2, r.store_ack.end());
  const Bytes half_image(r.image.begin(), r.image.begin() + 300);
  const Bytes other_half(r.image.begin() + 300, r.image.end());
  const std::vector<Seed> seeds = {
      {"handshake-hid",
       kDispatchConnected | kDispatchHid,
       {{r.image, true}, {r.names, true}, {r.settings, true}, {r.poll, true}}},
      {"handshake-serial",
       kDispatchConnected,
       {{half_image, false}, {other_half, false}, {r.names, false}, {r.settings, false}}},
      {"identity-first",
       kDispatchConnected | kDispatchHid,
       {{r.identity, true}, {r.locked_image, true}, {r.names, true}}},
      {"disconnected", kDispatchHid, {{r.identity, true}, {r.image, true}, {r.names, true}}},
      {"poll-then-ack", kDispatchConnected, {{Join({&r.poll, &r.store_ack}), false}, {{}, false}}},
      {"long-poll-then-settings", kDispatchConnected, {{Join({&r.long_poll, &r.settings}), false}}},
      {"acks",
       kDispatchConnected,
       {{Join({&r.settings_ack, &r.store_ack}), false}, {marker, false}, {rest_of_ack, false}}},
      {"lock-unlock-refresh",
       kDispatchConnected | kDispatchHid,
       {{r.lock_result, true}, {r.unlock_result, true}, {r.refresh, true}}},
      {"file-save", kDispatchConnected | kDispatchFileSave, {{r.image, false}}},
      {"preset-load", kDispatchConnected | kDispatchPresetLoad, {{r.locked_image, false}}},
      {"backup",
       kDispatchConnected | kDispatchBackup,
       {{Join({&r.record, &r.poll}), false}, {r.record, false}}},
  };
  for (const Seed& seed : seeds) {
    DispatchScriptWriter w(seed.flags, 0);
    for (const auto& [bytes, replace] : seed.passes) w.Pass(bytes, replace);
    Write("dispatch_diff_fuzz", seed.name, w.bytes());
  }
}

}  // namespace
}  // namespace veltrane::fuzz

namespace veltrane::fuzz {

// Measurement files in the shapes measurement programs export, and a session file.
void WriteMeasurementSeeds() {
  const auto text = [](std::string_view s) {
    return std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(s.data()),
                                         s.size());
  };
  Write("measurement_fuzz", "comments",
        text("* Freq(Hz) SPL(dB) Phase(degrees)\n20 80.5 10\n40 82 -20\n80 79.25 45\n"));
  Write("measurement_fuzz", "semicolons", text("Hz;dB\r\n20,5;80,1\r\n31,5;81,7\r\n"));
  Write("measurement_fuzz", "thousands", text("# f\tL\n0\t60\n999.5\t70\n1,034.91\t71.5\n"));
  Write("measurement_fuzz", "side-by-side", text("10,70,10,72\n20,71,20,73\n40,69,40,70\n"));
  TuningSession session;
  ChannelMeasurement m;
  m.sources = {"a.txt"};
  for (const MeasuredPoint& p : SyntheticRoom(1, {.low_hz = 20, .high_hz = 200,
                                                   .points_per_octave = 3})
                                    .points) {
    m.averaged.points.push_back(p);
  }
  session.channels[kOut1] = m;
  Write("measurement_fuzz", "session", text(WriteTuningSession(session)));
}

}  // namespace veltrane::fuzz

int main(int argc, char** argv) {
  using namespace veltrane::fuzz;
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
    return 2;
  }
  g_out = argv[1];
  for (const Session& s : Sessions()) {
    const Recording recording = Record(s);
    WriteEngineScript(s, recording.events);
    WriteReaderScript(s, recording.sent);
  }
  const Replies replies = MakeReplies();
  WriteReplyScripts(replies);
  WriteCommandScripts();
  WriteCodecSeeds(replies);
  WriteDispatchSeeds(replies);
  WriteMeasurementSeeds();
  return 0;
}
