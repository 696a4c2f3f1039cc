// veltrane-ctl's command line: usage errors are found before anything is opened.

#include "cli/command_line.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>

namespace veltrane {
namespace {

TEST(CtlCommandLineTest, CommandsOptionsAndUsageErrors) {
  struct Case {
    std::vector<std::string> argv;
    std::string error;  // empty: accepted
  };
  const Case cases[] = {
      {{"--port", "/dev/ttyUSB0", "info"}, ""},
      {{"--hid", "--json", "show"}, ""},
      {{"ports"}, ""},
      // Options may follow the command; a negative number there is a value.
      {{"--port", "p", "set", "out1", "gain", "-3.5", "--no-verify"}, ""},
      {{"--port", "p", "restore", "f", "--no-verify"}, ""},
      {{"info"}, "give --port PATH or --hid"},
      {{"--port", "p", "--hid", "info"}, "give either --port or --hid, not both"},
      {{"--port", "p"}, "no command given (see --help)"},
      {{"--port", "p", "frobnicate"}, "unknown command \"frobnicate\" (see --help)"},
      {{"--port", "p", "store", "3"}, "store: wrong number of arguments (see --help)"},
      {{"--port", "p", "set", "out1", "gain"}, "set: wrong number of arguments (see --help)"},
      {{"--port", "p", "--device", "257", "info"}, "--device needs a number from 1 to 256"},
      {{"--port", "p", "--timeout", "x", "info"},
       "--timeout needs a number of seconds from 1 to 3600"},
      {{"--port", "p", "--fast", "info"}, "unknown option --fast"},
      {{"--port"}, "--port needs a value"},
      // fit and predict work from files alone; writing needs a processor.
      {{"fit", "out1", "m.txt", "--tilt", "-0.5", "--smooth", "1/6"}, ""},
      {{"predict", "out1", "m.txt", "p.txt", "--fitted"}, ""},
      {{"--port", "p", "fit", "out1", "m.txt", "--apply"}, ""},
      {{"fit", "out1", "m.txt", "--apply"},
       "fit --apply writes to a processor: give --port PATH or --hid"},
      {{"predict", "out1", "m.txt"}, "predict: wrong number of arguments (see --help)"},
      {{"--port", "p", "--tilt", "1", "info"}, "--tilt belongs to fit and predict"},
      {{"fit", "out1", "m.txt", "--fitted"}, "--fitted belongs to predict"},
      {{"fit", "out1", "m.txt", "--smooth", "1/5"},
       "--smooth needs none, var or 1/N with N 1, 2, 3, 6, 12, 24 or 48"},
      {{"--port", "p", "--apply", "show"}, "--apply belongs to align and fit"},
      {{"ports", "--probe"}, ""},
      {{"--port", "p", "scan", "--probe"}, "--probe belongs to ports"},
      // --range is device numbers for a scan.
      {{"--port", "p", "scan", "--range", "20-500"}, "--range needs device numbers A-B within 1-256"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.argv));
    EXPECT_EQ(ParseCtlCommandLine(c.argv).error, c.error);
  }
  const ParsedCommandLine p = ParseCtlCommandLine(
      {"--port", "p", "--device", "5", "--timeout", "7", "set", "out1", "gain", "-3", "--verify"});
  EXPECT_EQ(p.options.device, 5);
  EXPECT_EQ(p.options.timeout_ms, 7000);
  EXPECT_EQ(p.options.verify, true);
  EXPECT_EQ(p.options.args, (std::vector<std::string>{"out1", "gain", "-3"}));
  EXPECT_TRUE(ParseCtlCommandLine({"--help"}).help);
  EXPECT_TRUE(ParseCtlCommandLine({"--version"}).version);
  const ParsedCommandLine quiet = ParseCtlCommandLine({"--port", "p", "set", "out1", "gain", "-3", "-q", "-v"});
  ASSERT_EQ(quiet.error, "");
  EXPECT_TRUE(quiet.options.quiet && quiet.options.verbose);
  EXPECT_EQ(quiet.options.args, (std::vector<std::string>{"out1", "gain", "-3"}));
  // The allowance after a poll cannot be shorter than an answer's own time on the wire.
  EXPECT_EQ(ParseCtlCommandLine({"--port", "p", "scan", "--reply-ms", "20"}).error,
            "--reply-ms needs a number of milliseconds from 21 to 2000 (an answer alone takes "
            "20.8 ms on the wire)");
  EXPECT_EQ(ParseCtlCommandLine({"--port", "p", "scan", "--reply-ms", "21"}).options.reply_ms, 21);
  EXPECT_EQ(ParseCtlCommandLine({"--port", "p", "scan"}).options.reply_ms, kDefaultScanReplyMs);
}

TEST(CtlCommandLineTest, AssignmentsAndTheEnvironmentGiveDefaults) {
  const ParsedCommandLine eq = ParseCtlCommandLine({"--port=/dev/ttyUSB1", "--device=3", "info"});
  ASSERT_EQ(eq.error, "");
  EXPECT_EQ(eq.options.port, "/dev/ttyUSB1");
  EXPECT_EQ(eq.options.device, 3);

  std::map<std::string, std::string> env = {{"VELTRANE_PORT", "/dev/ttyS4"},
                                            {"VELTRANE_DEVICE", "9"}};
  const EnvironmentLookup lookup = [&env](const std::string& name) -> std::optional<std::string> {
    const auto it = env.find(name);
    if (it == env.end()) return std::nullopt;
    return it->second;
  };
  ParsedCommandLine p = ParseCtlCommandLine({"info"}, lookup);
  ASSERT_EQ(p.error, "");
  EXPECT_EQ(p.options.port, "/dev/ttyS4");
  EXPECT_EQ(p.options.device, 9);
  // The command line wins; --hid is a port too; fit stays offline.
  p = ParseCtlCommandLine({"--port", "/dev/a", "--device", "2", "info"}, lookup);
  EXPECT_EQ(p.options.port, "/dev/a");
  EXPECT_EQ(p.options.device, 2);
  EXPECT_EQ(ParseCtlCommandLine({"--hid", "info"}, lookup).error, "");
  EXPECT_EQ(ParseCtlCommandLine({"fit", "out1", "m.txt"}, lookup).options.port, "");
  env["VELTRANE_DEVICE"] = "300";
  EXPECT_EQ(ParseCtlCommandLine({"info"}, lookup).error,
            "VELTRANE_DEVICE needs a number from 1 to 256");
}

TEST(CtlCommandLineTest, ACommandsHelpIsItsOwnLines) {
  const ParsedCommandLine p = ParseCtlCommandLine({"restore", "--help"});
  ASSERT_TRUE(p.help);
  EXPECT_EQ(p.options.command, "restore");
  const std::string help = CommandHelp("restore");
  EXPECT_NE(help.find("restore FILE"), std::string::npos) << help;
  EXPECT_EQ(help.find("restore-all"), std::string::npos) << help;
  EXPECT_EQ(help.find("backup FILE"), std::string::npos) << help;
  const std::string fit = CommandHelp("fit");
  EXPECT_NE(fit.find("--max-boost"), std::string::npos) << fit;
  EXPECT_NE(fit.find("and reads them back"), std::string::npos) << fit;
  EXPECT_EQ(fit.find("predict"), std::string::npos) << fit;
}

}  // namespace
}  // namespace veltrane
