// The window program's command line: at most one album file to open, --help and --version
// like any program, and a refusal of what it does not know.
#pragma once

#include <QCoreApplication>
#include <QString>
#include <optional>

namespace glim {

// The arguments ask for a text only (--help, --version), which needs no window system.
bool asksForTextOnly(int argc, char* argv[]);

// True when the window would have nowhere to appear: no display named in the environment and
// no platform chosen (where the toolkit would end the program with an abort instead).
bool noDisplayToShowOn(int argc, char* argv[]);

// Reads the application's arguments (Qt's own are gone by now): --help and --version print
// their text and end the program with status 0; an unknown option or a second argument ends it
// with status 1 and a message on standard error. Returns when the window is to open, with the
// album file named on the command line, if any.
std::optional<QString> processCommandLine(const QCoreApplication& application);

}  // namespace glim
