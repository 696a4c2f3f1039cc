// veltrane-sim: a simulated processor on a pseudo-terminal. Prints the terminal's path
// as its first line and answers there like a processor on a serial port until SIGINT or
// SIGTERM.

#include <signal.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "sim/pty_server.h"
#include "sim/sim_line.h"

namespace {

constexpr char kHelp[] =
    "Usage: veltrane-sim [options]\n"
    "Simulates a Veltrane processor on a pseudo-terminal. The first line printed is the\n"
    "terminal's path; open it as a serial port. SIGINT or SIGTERM ends the program.\n"
    "\n"
    "  --link PATH        also reach the terminal through a symbolic link at PATH\n"
    "                     (removed on exit)\n"
    "  --device N         answer as device number N (1..255, default 1); frames\n"
    "                     addressed to another number are ignored\n"
    "  --devices N,M,...  several processors on the one line, each with its own\n"
    "                     settings, presets and lock; a number given twice makes\n"
    "                     two processors whose answers collide\n"
    "  --demo-content     start with named presets and filters already set\n"
    "  --locked           start with the front panel locked\n"
    "  --password XXXXXX  the panel password, six letters or digits (default 123456)\n"
    "  --long-poll        answer keep-alive polls with 20 data bytes instead of 8\n"
    "  --identity-first   answer the image request of a new connection with the\n"
    "                     identity first\n"
    "  --silent           never answer\n"
    "  --late MS          send every reply MS milliseconds late\n"
    "  --late-device N:MS the processor with device number N sends its replies MS\n"
    "                     milliseconds late (repeatable; overrides --late for N)\n"
    "  --split N          send replies in pieces of N bytes\n"
    "  --merge            hold each reply back and send it together with the next\n"
    "  --noise N          send N random bytes before every reply\n"
    "  --drop-after N     stop answering after N frames, as if the cable were pulled\n"
    "  --ignore HH        never answer frames with object code HH (hex); repeatable\n"
    "  --corrupt-slot N   keep one byte of preset slot N (1..20) wrong whenever it is\n"
    "                     written, as a failing memory would\n"
    "  --refuse-lock      answer a lock with status 0 and stay unlocked\n"
    "  --keep-number      acknowledge a device-number change but keep the number\n"
    "  --pace             send at the pace of a 9600-baud line\n"
    "  --verbose          log every frame received and sent to stderr\n"
    "  --help             show this text\n";

int signal_pipe_write = -1;

void OnSignal(int /*signal*/) {
  const char c = 's';
  if (write(signal_pipe_write, &c, 1) < 0) {
    // Nothing safe to do inside a signal handler.
  }
}

std::optional<int> ParseNumber(std::string_view text, int base = 10) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (ec != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
  return value;
}

bool IsPassword(std::string_view text) {
  if (text.size() != veltrane::ProcessorState::kPasswordLength) return false;
  for (char c : text) {
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

// Fills options from the arguments; an error text, or empty on success.
std::string ParseArguments(int argc, char** argv, veltrane::PtyServerOptions& options, bool& help) {
  veltrane::SimOptions& sim = options.sim;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    auto value = [&]() -> std::optional<std::string_view> {
      if (i + 1 >= argc) return std::nullopt;
      return std::string_view(argv[++i]);
    };
    auto number = [&](int base = 10) -> std::optional<int> {
      const auto text = value();
      return text ? ParseNumber(*text, base) : std::nullopt;
    };
    if (arg == "--help" || arg == "-h") {
      help = true;
    } else if (arg == "--link") {
      const auto path = value();
      if (!path || path->empty()) return "--link needs a path";
      options.link_path = std::string(*path);
    } else if (arg == "--device") {
      const auto n = number();
      if (!n || *n < 1 || *n > 255) return "--device needs a number from 1 to 255";
      sim.device_number = static_cast<std::uint8_t>(*n);
    } else if (arg == "--devices") {
      const auto list = value();
      options.devices = list ? veltrane::ParseDeviceNumbers(*list) : std::vector<int>{};
      if (options.devices.empty()) return "--devices needs device numbers 1..255 like 1,2,5";
    } else if (arg == "--demo-content") {
      sim.demo_content = true;
    } else if (arg == "--locked") {
      sim.locked_at_start = true;
    } else if (arg == "--password") {
      const auto password = value();
      if (!password || !IsPassword(*password)) return "--password needs six letters or digits";
      sim.password = std::string(*password);
    } else if (arg == "--long-poll") {
      sim.poll_answer_long = true;
    } else if (arg == "--identity-first") {
      sim.identity_first = true;
    } else if (arg == "--silent") {
      sim.silent = true;
    } else if (arg == "--late") {
      const auto ms = number();
      if (!ms) return "--late needs a number of milliseconds";
      sim.late_ms = *ms;
    } else if (arg == "--late-device") {
      const auto text = value();
      const auto late = text ? veltrane::ParseDeviceLateness(*text) : std::nullopt;
      if (!late) return "--late-device needs N:MS, a device number 1..255 and 0..60000 ms";
      options.late_devices.push_back(*late);
    } else if (arg == "--split") {
      const auto n = number();
      if (!n || *n == 0) return "--split needs a number of bytes";
      sim.split_chunks = {static_cast<std::size_t>(*n)};
    } else if (arg == "--merge") {
      sim.merge_with_next = true;
    } else if (arg == "--noise") {
      const auto n = number();
      if (!n) return "--noise needs a number of bytes";
      sim.random_noise = *n;
    } else if (arg == "--drop-after") {
      const auto n = number();
      if (!n) return "--drop-after needs a number of frames";
      sim.drop_after_frames = *n;
    } else if (arg == "--ignore") {
      const auto code = number(16);
      if (!code || *code > 0xFF) return "--ignore needs an object code in hex";
      sim.ignore_objects.insert(static_cast<std::uint8_t>(*code));
    } else if (arg == "--corrupt-slot") {
      const auto n = number();
      if (!n || *n < 1 || *n > 20) return "--corrupt-slot needs a slot from 1 to 20";
      sim.corrupt_slot = *n;
    } else if (arg == "--keep-number") {
      sim.keep_device_number = true;
    } else if (arg == "--refuse-lock") {
      sim.refuse_lock = true;
    } else if (arg == "--pace") {
      sim.pacing_9600 = true;
    } else if (arg == "--verbose") {
      options.verbose = true;
    } else {
      return "unknown option " + std::string(arg);
    }
  }
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  veltrane::PtyServerOptions options;
  bool help = false;
  const std::string error = ParseArguments(argc, argv, options, help);
  if (!error.empty()) {
    std::fprintf(stderr, "veltrane-sim: %s (see --help)\n", error.c_str());
    return 2;
  }
  if (help) {
    std::fputs(kHelp, stdout);
    return 0;
  }

  int signal_pipe[2];
  if (pipe(signal_pipe) != 0) {
    std::perror("veltrane-sim: pipe");
    return 1;
  }
  signal_pipe_write = signal_pipe[1];
  struct sigaction action {};
  action.sa_handler = OnSignal;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);

  veltrane::PtyServer server(std::move(options));
  server.SetOnFailure([] {
    const char c = 'f';
    if (write(signal_pipe_write, &c, 1) < 0) {
      // The main thread will not wake; nothing better to do.
    }
  });
  const std::string path = server.Start();
  if (path.empty()) {
    std::fprintf(stderr, "veltrane-sim: %s\n", server.error().c_str());
    return 1;
  }
  std::printf("%s\n", path.c_str());
  std::fflush(stdout);

  char reason = 0;
  while (read(signal_pipe[0], &reason, 1) < 0 && errno == EINTR) {
  }
  server.Stop();
  if (reason == 'f') {
    std::fprintf(stderr, "veltrane-sim: %s\n", server.error().c_str());
    return 1;
  }
  return 0;
}
