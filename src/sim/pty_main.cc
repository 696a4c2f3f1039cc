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

// An option's value; nullopt when the command line ends before it.
using OptionValue = std::optional<std::string_view>;
using Options = veltrane::PtyServerOptions;

std::optional<int> NumberOf(OptionValue value, int base = 10) {
  return value ? ParseNumber(*value, base) : std::nullopt;
}

struct SimOption {
  std::string_view name;
  bool needs_value;
  // Applies the option; an error text, or empty.
  std::string (*apply)(OptionValue value, Options& options);
};

// A table rather than an if-chain, so each option reads as one entry.
const SimOption kOptions[] = {
    {"--link", true,
     [](OptionValue path, Options& o) -> std::string {
       if (!path || path->empty()) return "--link needs a path";
       o.link_path = std::string(*path);
       return {};
     }},
    {"--device", true,
     [](OptionValue value, Options& o) -> std::string {
       const auto n = NumberOf(value);
       if (!n || *n < 1 || *n > 255) return "--device needs a number from 1 to 255";
       o.sim.device_number = static_cast<std::uint8_t>(*n);
       return {};
     }},
    {"--devices", true,
     [](OptionValue list, Options& o) -> std::string {
       o.devices = list ? veltrane::ParseDeviceNumbers(*list) : std::vector<int>{};
       if (o.devices.empty()) return "--devices needs device numbers 1..255 like 1,2,5";
       return {};
     }},
    {"--demo-content", false,
     [](OptionValue, Options& o) -> std::string {
       o.sim.demo_content = true;
       return {};
     }},
    {"--locked", false,
     [](OptionValue, Options& o) -> std::string {
       o.sim.locked_at_start = true;
       return {};
     }},
    {"--password", true,
     [](OptionValue password, Options& o) -> std::string {
       if (!password || !IsPassword(*password)) return "--password needs six letters or digits";
       o.sim.password = std::string(*password);
       return {};
     }},
    {"--long-poll", false,
     [](OptionValue, Options& o) -> std::string {
       o.sim.poll_answer_long = true;
       return {};
     }},
    {"--identity-first", false,
     [](OptionValue, Options& o) -> std::string {
       o.sim.identity_first = true;
       return {};
     }},
    {"--silent", false,
     [](OptionValue, Options& o) -> std::string {
       o.sim.silent = true;
       return {};
     }},
    {"--late", true,
     [](OptionValue value, Options& o) -> std::string {
       const auto ms = NumberOf(value);
       if (!ms) return "--late needs a number of milliseconds";
       o.sim.late_ms = *ms;
       return {};
     }},
    {"--late-device", true,
     [](OptionValue text, Options& o) -> std::string {
       const auto late = text ? veltrane::ParseDeviceLateness(*text) : std::nullopt;
       if (!late) return "--late-device needs N:MS, a device number 1..255 and 0..60000 ms";
       o.late_devices.push_back(*late);
       return {};
     }},
    {"--split", true,
     [](OptionValue value, Options& o) -> std::string {
       const auto n = NumberOf(value);
       if (!n || *n == 0) return "--split needs a number of bytes";
       o.sim.split_chunks = {static_cast<std::size_t>(*n)};
       return {};
     }},
    {"--merge", false,
     [](OptionValue, Options& o) -> std::string {
       o.sim.merge_with_next = true;
       return {};
     }},
    {"--noise", true,
     [](OptionValue value, Options& o) -> std::string {
       const auto n = NumberOf(value);
       if (!n) return "--noise needs a number of bytes";
       o.sim.random_noise = *n;
       return {};
     }},
    {"--drop-after", true,
     [](OptionValue value, Options& o) -> std::string {
       const auto n = NumberOf(value);
       if (!n) return "--drop-after needs a number of frames";
       o.sim.drop_after_frames = *n;
       return {};
     }},
    {"--ignore", true,
     [](OptionValue value, Options& o) -> std::string {
       const auto code = NumberOf(value, 16);
       if (!code || *code > 0xFF) return "--ignore needs an object code in hex";
       o.sim.ignore_objects.insert(static_cast<std::uint8_t>(*code));
       return {};
     }},
    {"--corrupt-slot", true,
     [](OptionValue value, Options& o) -> std::string {
       const auto n = NumberOf(value);
       if (!n || *n < 1 || *n > 20) return "--corrupt-slot needs a slot from 1 to 20";
       o.sim.corrupt_slot = *n;
       return {};
     }},
    {"--keep-number", false,
     [](OptionValue, Options& o) -> std::string {
       o.sim.keep_device_number = true;
       return {};
     }},
    {"--refuse-lock", false,
     [](OptionValue, Options& o) -> std::string {
       o.sim.refuse_lock = true;
       return {};
     }},
    {"--pace", false,
     [](OptionValue, Options& o) -> std::string {
       o.sim.pacing_9600 = true;
       return {};
     }},
    {"--verbose", false,
     [](OptionValue, Options& o) -> std::string {
       o.verbose = true;
       return {};
     }},
};

const SimOption* FindOption(std::string_view name) {
  for (const SimOption& option : kOptions) {
    if (option.name == name) return &option;
  }
  return nullptr;
}

// Fills options from the arguments; an error text, or empty on success.
std::string ParseArguments(int argc, char** argv, Options& options, bool& help) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      help = true;
      continue;
    }
    const SimOption* option = FindOption(arg);
    if (option == nullptr) return "unknown option " + std::string(arg);
    OptionValue value;
    if (option->needs_value && i + 1 < argc) value = std::string_view(argv[++i]);
    const std::string error = option->apply(value, options);
    if (!error.empty()) return error;
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
