// veltrane: the editor for the Veltrane processor.

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>

#include "app/editor_app.h"

namespace {

// The options are read before any window system is needed, so that --help and --version
// work on a terminal without a display.
veltrane::EditorOptions ParseOptions(int& argc, char* argv[]) {
  QCoreApplication core(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("veltrane"));
  QCoreApplication::setApplicationVersion(QStringLiteral(VELTRANE_VERSION));

  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Editor and remote control for the Veltrane processor."));
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption demo(
      QStringLiteral("demo"),
      QStringLiteral("Start a simulated processor on a pseudo-terminal and select its port."));
  const QCommandLineOption port(
      QStringLiteral("port"), QStringLiteral("Also list the serial device at <path> (repeatable)."),
      QStringLiteral("path"));
  parser.addOption(demo);
  parser.addOption(port);
  parser.process(core);  // exits after --help, --version or a bad option

  veltrane::EditorOptions options;
  options.demo = parser.isSet(demo);
  for (const QString& path : parser.values(port)) options.extra_ports.push_back(path.toStdString());
  return options;
}

}  // namespace

int main(int argc, char* argv[]) {
  veltrane::EditorOptions options = ParseOptions(argc, argv);
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("veltrane"));
  QApplication::setApplicationVersion(QStringLiteral(VELTRANE_VERSION));

  veltrane::EditorApp editor(std::move(options));
  if (!editor.Start()) {
    std::fprintf(stderr, "veltrane: %s\n", editor.Error().c_str());
    return 1;
  }
  editor.Show();
  return app.exec();
}
