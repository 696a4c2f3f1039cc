#pragma once

// The command line of veltrane-ctl: options, the command and its arguments, checked
// before anything is opened, so that a usage error never reaches the processor.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "access/line_scan.h"
#include "cli/fit_command.h"

namespace veltrane {

enum CtlExit {
  kExitDone = 0,
  kExitNoAnswer = 1,  // the processor did not answer or refused
  kExitUsage = 2,     // usage or file error
  kExitDifference = 3,
  kExitLocked = 4,
  kExitDuplicate = 5,  // a line scan heard two processors answer at one device number
};

struct CtlOptions {
  std::string port;  // --port PATH
  bool hid = false;  // --hid
  int device = 1;    // --device N: DeviceId N - 1
  bool json = false;
  bool quiet = false;          // -q: nothing on standard output when all went well
  bool verbose = false;        // -v: every frame to and from the port on stderr, with its time
  int timeout_ms = 60000;      // --timeout S, for each step that waits for the processor
  std::optional<bool> verify;  // --verify / --no-verify; each command has its default
  int first = 1;               // --range A-B: the device numbers a line scan polls
  int last = 256;
  int reply_ms = kDefaultScanReplyMs;  // --reply-ms N: a scan's allowance after each poll
  bool probe = false;                  // ports --probe: ask each serial port for the processor
  bool apply = false;                  // --apply: align and fit write what they suggest
  FitCommandOptions fit;               // fit and predict
  std::string command;
  std::vector<std::string> args;
};

struct ParsedCommandLine {
  CtlOptions options;
  bool help = false;  // with options.command set: that command's help
  bool version = false;
  std::string error;  // a usage error, one line
};

// Reads the environment's defaults: VELTRANE_PORT (when neither --port nor --hid is
// given) and VELTRANE_DEVICE. Tests pass their own.
using EnvironmentLookup = std::function<std::optional<std::string>(const std::string& name)>;

ParsedCommandLine ParseCtlCommandLine(const std::vector<std::string>& argv,
                                      const EnvironmentLookup& environment = {});

// The help of one command: its lines of the global help.
std::string CommandHelp(const std::string& command);

// A whole argument as a decimal integer, or none.
std::optional<int> ParseInteger(const std::string& text);

extern const char kCtlHelp[];

}  // namespace veltrane
