#pragma once

// veltrane-ctl on the virtual clock: an environment whose serial port reaches a simulated
// processor (or a line of them), and a run of one session with its output captured.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "cli/command_line.h"
#include "cli/session.h"
#include "link/fake_hid_backend.h"
#include "protocol/virtual_clock.h"
#include "sim/sim_link.h"

namespace veltrane {

// Peer is the simulated far end: a Simulator or a SimLine, built on the environment's clock.
template <typename Peer>
class VirtualCtlEnvironment : public CtlEnvironment {
 public:
  template <typename... Args>
  explicit VirtualCtlEnvironment(std::string port_name, Args&&... args)
      : peer_(clock_, std::forward<Args>(args)...),
        port_(clock_, peer_),
        port_name_(std::move(port_name)) {}

  TimerHost& Timers() override { return clock_; }
  SerialPort& Serial(Receiver receiver) override {
    port_.SetReceiver(std::move(receiver));
    return port_;
  }
  std::unique_ptr<HidBackend> CreateHidBackend() override {
    return std::make_unique<FakeHidBackend>();
  }
  std::vector<std::string> SerialPorts() override { return {port_name_}; }

  VirtualClock& Clock() { return clock_; }
  Peer& Far() { return peer_; }
  SimSerialPort& Port() { return port_; }

 private:
  VirtualClock clock_;
  Peer peer_;
  SimSerialPort port_;
  std::string port_name_;
};

struct CtlRun {
  int code = -1;
  QJsonObject json;
  std::string err;
  std::int64_t ms = 0;  // virtual time from the start to the exit code
};

// Runs one session of type Session (CtlSession, LineSession) with --json on the
// environment's port until it gives its exit code or limit_ms of virtual time pass, then
// lets a further settle_ms pass (a disconnect still on its way). Without with_port the
// session is given no port (the commands that work from files alone).
template <typename Session, typename Environment>
CtlRun RunVirtualCtl(Environment& env, std::vector<std::string> args, std::int64_t limit_ms,
                     int settle_ms = 0, bool with_port = true) {
  if (with_port) args.insert(args.begin(), {"--port", env.SerialPorts().front()});
  args.insert(args.begin(), "--json");
  const ParsedCommandLine parsed = ParseCtlCommandLine(args);
  EXPECT_EQ(parsed.error, "");
  char* out_text = nullptr;
  char* err_text = nullptr;
  std::size_t out_size = 0;
  std::size_t err_size = 0;
  std::FILE* out = open_memstream(&out_text, &out_size);
  std::FILE* err = open_memstream(&err_text, &err_size);
  CtlRun run;
  const std::int64_t start = env.Clock().NowMs();
  {
    Session session(parsed.options, env, out, err);
    session.Start([&](int code) { run.code = code; });
    while (run.code < 0 && env.Clock().NowMs() - start < limit_ms) env.Clock().Advance(20);
    run.ms = env.Clock().NowMs() - start;
    if (settle_ms > 0) env.Clock().Advance(settle_ms);
  }
  std::fclose(out);
  std::fclose(err);
  run.json =
      QJsonDocument::fromJson(QByteArray(out_text, static_cast<qsizetype>(out_size))).object();
  run.err.assign(err_text, err_size);
  std::free(out_text);
  std::free(err_text);
  return run;
}

// Runs a quiet CtlSession (its output dropped) on the environment's port until `moment`
// holds, calls `event` on the session, and runs on until its exit code or `after_ms` of
// virtual time. run.ms counts from the event; run.json is the session's result.
template <typename Environment>
CtlRun RunWithEvent(Environment& env, std::vector<std::string> args,
                    const std::function<bool()>& moment,
                    const std::function<void(CtlSession&)>& event, std::int64_t after_ms) {
  args.insert(args.begin(), {"--port", env.SerialPorts().front()});
  const ParsedCommandLine parsed = ParseCtlCommandLine(args);
  EXPECT_EQ(parsed.error, "");
  std::FILE* sink = std::fopen("/dev/null", "w");
  CtlRun run;
  {
    CtlSession session(parsed.options, env, sink, sink);
    session.SetQuiet(true);
    session.Start([&](int code) { run.code = code; });
    const std::int64_t start = env.Clock().NowMs();
    while (run.code < 0 && !moment() && env.Clock().NowMs() - start < 120'000) {
      env.Clock().Advance(10);
    }
    EXPECT_TRUE(moment()) << "the moment for the event never came";
    event(session);
    const std::int64_t event_ms = env.Clock().NowMs();
    while (run.code < 0 && env.Clock().NowMs() - event_ms < after_ms) env.Clock().Advance(10);
    run.ms = env.Clock().NowMs() - event_ms;
    run.json = session.Result();
    env.Clock().Advance(2000);  // the disconnect on its way
  }
  std::fclose(sink);
  return run;
}

}  // namespace veltrane
