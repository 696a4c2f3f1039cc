// veltrane-ctl: the Veltrane processor from the command line.

#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
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

int signal_pipe_write = -1;

void OnSignal(int signal) {
  const char c = static_cast<char>(signal);
  if (write(signal_pipe_write, &c, 1) < 0) {
    // Nothing safe to do inside a signal handler.
  }
}

// SIGINT and SIGTERM reach the session from the event loop, so that a slot on its way to
// the processor finishes and the run can say how far it got.
template <typename Session>
std::unique_ptr<QSocketNotifier> CatchSignals(Session& session) {
  int fds[2];
  if (pipe(fds) != 0) return nullptr;
  signal_pipe_write = fds[1];
  auto notifier = std::make_unique<QSocketNotifier>(fds[0], QSocketNotifier::Read);
  QObject::connect(notifier.get(), &QSocketNotifier::activated, [&session, fd = fds[0]] {
    char c = 0;
    if (read(fd, &c, 1) == 1) session.Interrupt(static_cast<unsigned char>(c));
  });
  struct sigaction action {};
  action.sa_handler = OnSignal;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  return notifier;
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
    const auto signal_notifier = CatchSignals(line);
    line.Start(quit);
    return QCoreApplication::exec();
  }
  if (command == "ports" && parsed.options.probe) {
    veltrane::PortProbe probe(parsed.options, environment, stdout, stderr);
    probe.Start(quit);
    return QCoreApplication::exec();
  }
  veltrane::CtlSession session(parsed.options, environment, stdout, stderr);
  const auto signal_notifier = CatchSignals(session);
  session.Start(quit);
  return QCoreApplication::exec();
}
