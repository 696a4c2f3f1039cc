// veltrane-ctl: the Veltrane processor from the command line.

#include <QCoreApplication>
#include <cstdio>

#include "cli/command_line.h"
#include "cli/line_session.h"
#include "cli/qt_environment.h"
#include "cli/session.h"

int main(int argc, char* argv[]) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const veltrane::ParsedCommandLine parsed = veltrane::ParseCtlCommandLine(args);
  if (parsed.help) {
    std::fputs(veltrane::kCtlHelp, stdout);
    return 0;
  }
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "veltrane-ctl: %s\n", parsed.error.c_str());
    return veltrane::kExitUsage;
  }
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("veltrane-ctl"));
  veltrane::QtCtlEnvironment environment;
  const auto quit = [](int code) { QCoreApplication::exit(code); };
  const std::string& command = parsed.options.command;
  if (command == "scan" || command == "backup-all" || command == "restore-all") {
    veltrane::LineSession line(parsed.options, environment, stdout, stderr);
    line.Start(quit);
    return QCoreApplication::exec();
  }
  veltrane::CtlSession session(parsed.options, environment, stdout, stderr);
  session.Start(quit);
  return QCoreApplication::exec();
}
