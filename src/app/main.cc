// veltrane: the editor for the Veltrane processor.

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>
#include <cstring>

#include "app/editor_app.h"

namespace {

struct Options {
  QCommandLineOption demo{
      QStringLiteral("demo"),
      QStringLiteral("Start a simulated processor on a pseudo-terminal and select its port.")};
  QCommandLineOption port{QStringLiteral("port"),
                          QStringLiteral("Also list the serial device at <path> (repeatable)."),
                          QStringLiteral("path")};
};

void SetUp(QCommandLineParser& parser, const Options& options) {
  QCoreApplication::setApplicationName(QStringLiteral("veltrane"));
  QCoreApplication::setApplicationVersion(QStringLiteral(VELTRANE_VERSION));
  parser.setApplicationDescription(
      QStringLiteral("Editor and remote control for the Veltrane processor."));
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addOption(options.demo);
  parser.addOption(options.port);
}

// --help and --version only print: they must work on a terminal without a display.
bool OnlyPrints(int argc, char* argv[]) {
  for (int i = 1; i < argc; ++i) {
    for (const char* option : {"-h", "--help", "-help", "--help-all", "-v", "--version"}) {
      if (std::strcmp(argv[i], option) == 0) return true;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char* argv[]) {
  const Options options;
  if (OnlyPrints(argc, argv)) {
    QCoreApplication core(argc, argv);
    QCommandLineParser parser;
    SetUp(parser, options);
    parser.process(core);  // prints and exits
    return 0;
  }

  // The window system takes its own options (-platform, -style, ...) out of argv first.
  QApplication app(argc, argv);
  // Wayland desktops match the window to its menu entry, and so to its icon, by this name.
  QGuiApplication::setDesktopFileName(QStringLiteral(VELTRANE_APP_ID));
  QCommandLineParser parser;
  SetUp(parser, options);
  parser.process(app);  // exits on a bad option

  veltrane::EditorOptions editor_options;
  editor_options.demo = parser.isSet(options.demo);
  for (const QString& path : parser.values(options.port)) {
    editor_options.extra_ports.push_back(path.toStdString());
  }

  veltrane::EditorApp editor(std::move(editor_options));
  if (!editor.Start()) {
    std::fprintf(stderr, "veltrane: %s\n", editor.Error().c_str());
    return 1;
  }
  editor.Show();
  return app.exec();
}
