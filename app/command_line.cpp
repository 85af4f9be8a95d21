#include "command_line.h"

#include <QCommandLineParser>
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace glim {

bool asksForTextOnly(int argc, char* argv[]) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--") == 0) return false;
    for (const char* text : {"-h", "--help", "-?", "--help-all", "-v", "--version"}) {
      if (std::strcmp(argv[i], text) == 0) return true;
    }
  }
  return false;
}

bool noDisplayToShowOn(int argc, char* argv[]) {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && value[0] != '\0') return false;
  }
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0 ||
        std::strcmp(argv[i], "-display") == 0 || std::strcmp(argv[i], "--display") == 0)
      return false;
  }
  return true;
}

std::optional<QString> processCommandLine(const QCoreApplication& application) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "Opens the Glimmervellium main window: browse your folders, add pictures to an album,\n"
      "sort and comment them, and create an album of web pages from them. Given an album\n"
      "file (.lmf), the window opens with that album, as File/Open would open it; further\n"
      "albums are opened and saved in the window. To build an album from a script, use\n"
      "glimmervellium-create."));
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument(QStringLiteral("album"),
                               QStringLiteral("The album file to open (optional)."),
                               QStringLiteral("[album]"));
  parser.process(application);
  const QStringList arguments = parser.positionalArguments();
  if (arguments.size() > 1) {
    std::fprintf(stderr, "%s opens one album at a time (\"%s\" is one too many); see --help.\n",
                 qUtf8Printable(QCoreApplication::applicationName()),
                 qUtf8Printable(arguments.at(1)));
    std::exit(EXIT_FAILURE);
  }
  if (arguments.isEmpty()) return std::nullopt;
  return arguments.constFirst();
}

}  // namespace glim
