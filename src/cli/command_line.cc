#include "cli/command_line.h"

#include <algorithm>
#include <charconv>
#include <functional>
#include <map>

namespace veltrane {

const char kCtlHelp[] =
    "Usage: veltrane-ctl [--port PATH | --hid] [--device N] [--json] [--timeout S]\n"
    "                    [--verify | --no-verify] COMMAND [ARGUMENTS]\n"
    "\n"
    "Talks to a Veltrane processor with the editor's own connection sequence, runs one\n"
    "command and disconnects. Files are those of the editor's \"Store File\" and\n"
    "\"save 20-group to PC\".\n"
    "\n"
    "Options:\n"
    "  --port PATH   the processor's serial port (9600 8N1), e.g. /dev/ttyUSB0\n"
    "  --hid         the processor on USB HID\n"
    "  --device N    its device number, 1..256 (default 1)\n"
    "                (--port and --device default to $VELTRANE_PORT and $VELTRANE_DEVICE;\n"
    "                 --option=VALUE works as --option VALUE)\n"
    "  --json        print one JSON document on standard output\n"
    "  -q, --quiet   print nothing on standard output when all went well\n"
    "  -v, --verbose trace every byte to and from the serial port on stderr, with times\n"
    "  --timeout S   give up after S seconds in which the processor sent nothing\n"
    "                (default 60)\n"
    "  --verify      read back and compare after load and set (restore always does)\n"
    "  --no-verify   do not read back (restore, set, align --apply)\n"
    "  --help        show this text; COMMAND --help shows that command's\n"
    "  --version     print the version\n"
    "\n"
    "Commands:\n"
    "  ports [--probe]           serial ports and processor HID devices (no connection);\n"
    "                            --probe asks each serial port for the processor at\n"
    "                            --device N (default 1) and says which answers\n"
    "  info                      identity, device number, active preset, settings, lock,\n"
    "                            preset names\n"
    "  show                      the live settings in readable units\n"
    "  set CHANNEL PARAM VALUE … change parameters, then read them back, e.g.\n"
    "                            set out1 gain -3.5 out1 eq3 freq 120 out1 eq3 q 2.0\n"
    "      channels: in inb out1 out2 out3 out4\n"
    "      params:   gain DB | delay MS | mute on|off | polarity normal|inverted |\n"
    "                bypass on|off | route off|a|b|a+b | eqN type peq|ls|hs |\n"
    "                eqN freq HZ | eqN gain DB | eqN q Q | hp|lp freq HZ|off |\n"
    "                hp|lp type NAME|1..12 | limiter threshold DB | limiter attack MS |\n"
    "                limiter release 2x..32x | limiter ratio 1.2:1..inf:1\n"
    "  dump FILE                 save the live settings to a preset file\n"
    "  load FILE                 write a preset file into the live settings\n"
    "  backup FILE               save all 20 presets to a backup file\n"
    "  restore FILE              write a backup file into the 20 presets and verify\n"
    "  store N NAME              store the live settings as preset N (1..20) named NAME\n"
    "  recall N                  recall preset N\n"
    "  set-device N              give the processor device number N (1..251)\n"
    "  unlock PASSWORD           unlock the front panel (six letters or digits)\n"
    "  lock PASSWORD             lock the front panel\n"
    "  align OUT_A OUT_B [--apply]\n"
    "                            the polarity of OUT_B and the delay of one of them that\n"
    "                            make their sum flattest over the octave around their\n"
    "                            crossover, e.g. align out1 out2; --apply writes them\n"
    "                            and reads them back (--no-verify skips that)\n"
    "\n"
    "Tuning from a measurement (without --port or --hid: offline, the channel flat):\n"
    "  fit CHANNEL MEASUREMENT… [--range 20-500] [--max-boost 3] [--tilt DB]\n"
    "      [--house DB@HZ] [--target FILE] [--bands 1-8] [--no-shelves] [--smooth var]\n"
    "      [--apply]             fit the channel's eight bands, in the processor's own\n"
    "                            steps, so that measurement plus processing comes closest\n"
    "                            to the target (flat unless --tilt, --house or --target)\n"
    "                            over the range in Hz; the summed EQ never rises above\n"
    "                            --max-boost dB; several files are power-averaged;\n"
    "                            --smooth none|var|1/N (N 1..48); --apply writes the bands\n"
    "                            and reads them back\n"
    "  predict CHANNEL MEASUREMENT… OUTPUT [--fitted]\n"
    "                            the measurement with the channel's processing (--fitted:\n"
    "                            with the bands fit would choose), written to OUTPUT as a\n"
    "                            measurement text file\n"
    "\n"
    "Several processors on one line (serial only):\n"
    "  scan [--range A-B] [--reply-ms N]\n"
    "                            poll device numbers A..B (default 1-256), listen at\n"
    "                            each for the poll's 13 ms on the wire plus N ms\n"
    "                            (default 250: enough for a processor 200 ms late;\n"
    "                            at least 21, an answer's own time on the wire), and\n"
    "                            list who answered; an answer counts for the number\n"
    "                            it carries, however late it comes\n"
    "  backup-all DIR            scan, then back up every processor found into\n"
    "                            DIR/device-NNN.txt\n"
    "  restore-all DIR           scan, then restore every processor found from its file\n"
    "                            in DIR and verify it (--no-verify skips that)\n"
    "      A number at which two processors answer is a possible duplicate: it is\n"
    "      listed as such, left out of backup-all and restore-all, and the exit\n"
    "      status is 5.\n"
    "\n"
    "Exit status: 0 done, 1 the processor did not answer or refused, 2 usage or file\n"
    "error, 3 verification found a difference, 4 the panel is locked, 5 a line scan\n"
    "found a possible duplicate device number.\n";

std::optional<int> ParseInteger(const std::string& text) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

namespace {

// Arguments each command takes: exact count, or at least (negative).
const std::map<std::string, int> kArgumentCounts = {
    {"ports", 0},       {"info", 0},   {"show", 0},    {"set", -3},  {"dump", 1},
    {"load", 1},        {"backup", 1}, {"restore", 1}, {"store", 2}, {"recall", 1},
    {"set-device", 1},  {"unlock", 1}, {"lock", 1},    {"scan", 0},  {"backup-all", 1},
    {"restore-all", 1}, {"align", 2},  {"fit", -2},   {"predict", -3}};

// A scan's --range: device numbers A-B.
std::string ReadDeviceRange(const std::string& text, CtlOptions& o) {
  const std::size_t dash = text.find('-');
  const auto a = ParseInteger(text.substr(0, dash));
  const auto b = dash == std::string::npos ? a : ParseInteger(text.substr(dash + 1));
  if (!a || !b || *a < 1 || *b > 256 || *a > *b) {
    return "--range needs device numbers A-B within 1-256";
  }
  o.first = *a;
  o.last = *b;
  return {};
}

// The checks that need the whole command line.
std::string CheckCommand(CtlOptions& o, const std::string& fit_option) {
  if (o.command.empty()) {
    return "no command given (see --help)";
  }
  const auto count = kArgumentCounts.find(o.command);
  if (count == kArgumentCounts.end()) {
    return "unknown command \"" + o.command + "\" (see --help)";
  }
  const int n = static_cast<int>(o.args.size());
  const bool fits = count->second >= 0 ? n == count->second : n >= -count->second;
  if (!fits) {
    return o.command + ": wrong number of arguments (see --help)";
  }
  const bool tuning = o.command == "fit" || o.command == "predict";
  if (!fit_option.empty() && !tuning) return fit_option + " belongs to fit and predict";
  if (o.fit.fitted && o.command != "predict") return "--fitted belongs to predict";
  if (o.probe && o.command != "ports") return "--probe belongs to ports";
  if (o.apply && o.command != "align" && o.command != "fit") {
    return "--apply belongs to align and fit";
  }
  if (o.command == "fit" && o.apply && o.port.empty() && !o.hid) {
    return "fit --apply writes to a processor: give --port PATH or --hid";
  }
  // Without a port, fit and predict work from the files alone.
  if (o.port.empty() && !o.hid && o.command != "ports" && !tuning) {
    return "give --port PATH or --hid";
  }
  const bool line_command =
      o.command == "scan" || o.command == "backup-all" || o.command == "restore-all";
  if (line_command && o.hid) {
    return o.command + " works on a serial line, not with --hid";
  }
  if (!o.port.empty() && o.hid) {
    return "give either --port or --hid, not both";
  }
  if (line_command && o.fit.range_text) return ReadDeviceRange(*o.fit.range_text, o);
  return {};
}

// "--port=PATH" as "--port" "PATH".
std::vector<std::string> SplitAssignments(const std::vector<std::string>& argv) {
  std::vector<std::string> split;
  for (const std::string& arg : argv) {
    const std::size_t equals = arg.find('=');
    if (arg.starts_with("--") && equals != std::string::npos) {
      split.push_back(arg.substr(0, equals));
      split.push_back(arg.substr(equals + 1));
    } else {
      split.push_back(arg);
    }
  }
  return split;
}

// VELTRANE_PORT and VELTRANE_DEVICE where the command line gives neither.
std::string ApplyEnvironment(const EnvironmentLookup& environment, bool device_given,
                             CtlOptions& o) {
  if (!environment) return {};
  if (o.port.empty() && !o.hid && o.command != "fit" && o.command != "predict") {
    if (const auto port = environment("VELTRANE_PORT"); port && !port->empty()) o.port = *port;
  }
  if (!device_given) {
    if (const auto text = environment("VELTRANE_DEVICE"); text && !text->empty()) {
      const auto n = ParseInteger(*text);
      if (!n || *n < 1 || *n > 256) return "VELTRANE_DEVICE needs a number from 1 to 256";
      o.device = *n;
    }
  }
  return {};
}

struct FirstPass {
  ParsedCommandLine parsed;
  std::string fit_option;  // the first option only fit and predict take
};
FirstPass ReadArguments(const std::vector<std::string>& argv);

}  // namespace

std::string CommandHelp(const std::string& command) {
  // The command's line of the global help and the lines indented under it.
  const std::string_view help(kCtlHelp);
  std::string text;
  bool inside = false;
  for (std::size_t start = 0; start < help.size();) {
    const std::size_t end = std::min(help.find('\n', start), help.size());
    const std::string_view line = help.substr(start, end - start);
    start = end + 1;
    const bool heading = line.size() > 2 && line.starts_with("  ") && line[2] != ' ';
    if (heading) {
      const std::string_view rest = line.substr(2);
      inside = rest == command || rest.starts_with(command + " ");
    } else if (!line.starts_with("    ")) {
      inside = false;
    }
    if (inside) text += std::string(line) + "\n";
  }
  if (text.empty()) return kCtlHelp;
  return "Usage: veltrane-ctl [OPTIONS] " + command + " ...\n\n" + text +
         "\nveltrane-ctl --help lists the options and every command.\n";
}

ParsedCommandLine ParseCtlCommandLine(const std::vector<std::string>& raw,
                                      const EnvironmentLookup& environment) {
  const std::vector<std::string> argv = SplitAssignments(raw);
  FirstPass first = ReadArguments(argv);
  ParsedCommandLine& parsed = first.parsed;
  if (parsed.help || parsed.version || !parsed.error.empty()) return parsed;
  const bool device_given = std::find(argv.begin(), argv.end(), "--device") != argv.end();
  parsed.error = ApplyEnvironment(environment, device_given, parsed.options);
  if (parsed.error.empty()) parsed.error = CheckCommand(parsed.options, first.fit_option);
  return parsed;
}

namespace {

// Reads an option's value, or records that it has none and gives nullopt.
using ValueOf = std::function<std::optional<std::string>(const std::string& option)>;

// --device, --timeout and --reply-ms with their ranges; false stops the parse.
bool ReadNumberOption(const std::string& arg, const ValueOf& value, ParsedCommandLine& parsed) {
  CtlOptions& o = parsed.options;
  const auto text = value(arg);
  if (!text) return false;
  const auto n = ParseInteger(*text);
  if (arg == "--device") {
    if (!n || *n < 1 || *n > 256) {
      parsed.error = "--device needs a number from 1 to 256";
      return false;
    }
    o.device = *n;
  } else if (arg == "--timeout") {
    if (!n || *n < 1 || *n > 3600) {
      parsed.error = "--timeout needs a number of seconds from 1 to 3600";
      return false;
    }
    o.timeout_ms = *n * 1000;
  } else {
    if (!n || *n < kMinScanReplyMs || *n > 2000) {
      parsed.error =
          "--reply-ms needs a number of milliseconds from 21 to 2000 (an answer "
          "alone takes 20.8 ms on the wire)";
      return false;
    }
    o.reply_ms = *n;
  }
  return true;
}

// The options that take no value; false when arg is none of them.
bool ReadFlag(const std::string& arg, CtlOptions& o) {
  if (arg == "--hid") {
    o.hid = true;
  } else if (arg == "--json") {
    o.json = true;
  } else if (arg == "-q" || arg == "--quiet") {
    o.quiet = true;
  } else if (arg == "-v" || arg == "--verbose") {
    o.verbose = true;
  } else if (arg == "--verify") {
    o.verify = true;
  } else if (arg == "--no-verify") {
    o.verify = false;
  } else if (arg == "--apply") {
    o.apply = true;
  } else if (arg == "--probe") {
    o.probe = true;
  } else {
    return false;
  }
  return true;
}

// One general option or the command word; false stops the parse (help, version or an error).
bool ReadOption(const std::string& arg, const ValueOf& value, ParsedCommandLine& parsed) {
  CtlOptions& o = parsed.options;
  if (arg == "--help" || arg == "-h") {
    parsed.help = true;
    return false;
  }
  if (arg == "--version") {
    parsed.version = true;
    return false;
  }
  if (arg == "--port") {
    const auto path = value(arg);
    if (!path) return false;
    o.port = *path;
  } else if (arg == "--device" || arg == "--timeout" || arg == "--reply-ms") {
    return ReadNumberOption(arg, value, parsed);
  } else if (ReadFlag(arg, o)) {
    return true;
  } else if (arg.starts_with("-")) {
    parsed.error = "unknown option " + arg;
    return false;
  } else if (o.command.empty()) {
    o.command = arg;
  }
  return true;
}

FirstPass ReadArguments(const std::vector<std::string>& argv) {
  FirstPass first;
  ParsedCommandLine& parsed = first.parsed;
  CtlOptions& o = parsed.options;
  std::size_t i = 0;
  const ValueOf value = [&](const std::string& option) -> std::optional<std::string> {
    if (i + 1 >= argv.size()) {
      parsed.error = option + " needs a value";
      return std::nullopt;
    }
    return argv[++i];
  };
  for (; i < argv.size(); ++i) {
    const std::string& arg = argv[i];
    // Options may also follow the command; a negative number there is a value.
    if (!o.command.empty() && !arg.starts_with("--") && arg != "-q" && arg != "-v") {
      o.args.push_back(arg);
      continue;
    }
    if (const auto fit_error = ParseFitOption(arg, [&] { return value(arg); }, o.fit)) {
      if (!fit_error->empty()) {
        parsed.error = *fit_error;
        return first;
      }
      if (arg != "--range") first.fit_option = arg;
      continue;
    }
    if (!ReadOption(arg, value, parsed)) return first;
  }
  return first;
}

}  // namespace

}  // namespace veltrane
