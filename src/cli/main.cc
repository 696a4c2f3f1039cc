// veltrane-ctl: the Veltrane processor from the command line.

#include <QCoreApplication>
#include <cstdio>

#include "cli/command_line.h"
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
  veltrane::CtlSession session(parsed.options, nullptr, stdout, stderr);
  session.Start([](int code) { QCoreApplication::exit(code); });
  return QCoreApplication::exec();
}
