// veltrane-ctl: the Veltrane processor from the command line.

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "cli/command_line.h"
#include "cli/line_session.h"
#include "cli/port_probe.h"
#include "cli/qt_environment.h"
#include "cli/session.h"

namespace {

std::optional<std::string> Environment(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

// A usage error is one JSON document too when --json was asked for, wherever it stood.
void PrintUsageJson(const std::vector<std::string>& args, const std::string& command,
                    const std::string& error) {
  if (std::find(args.begin(), args.end(), "--json") == args.end()) return;
  const QJsonObject document{{"command", QString::fromStdString(command)},
                             {"ok", false},
                             {"exit_code", veltrane::kExitUsage},
                             {"error", QString::fromStdString(error)}};
  std::fputs(QJsonDocument(document).toJson(QJsonDocument::Indented).constData(), stdout);
}

}  // namespace

int main(int argc, char* argv[]) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const veltrane::ParsedCommandLine parsed = veltrane::ParseCtlCommandLine(args, Environment);
  if (parsed.version) {
    std::printf("veltrane-ctl %s\n", VELTRANE_VERSION);
    return 0;
  }
  if (parsed.help) {
    const std::string& command = parsed.options.command;
    std::fputs(command.empty() ? veltrane::kCtlHelp : veltrane::CommandHelp(command).c_str(),
               stdout);
    return 0;
  }
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "veltrane-ctl: %s\n", parsed.error.c_str());
    PrintUsageJson(args, parsed.options.command, parsed.error);
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
  if (command == "ports" && parsed.options.probe) {
    veltrane::PortProbe probe(parsed.options, environment, stdout, stderr);
    probe.Start(quit);
    return QCoreApplication::exec();
  }
  veltrane::CtlSession session(parsed.options, environment, stdout, stderr);
  session.Start(quit);
  return QCoreApplication::exec();
}
