// veltrane-ctl's command line: usage errors are found before anything is opened.

#include "cli/command_line.h"

#include <gtest/gtest.h>

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
}

}  // namespace
}  // namespace veltrane
